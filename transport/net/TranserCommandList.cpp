#include "transport/net/TranserCommandList.h"

#include <utility>

namespace tarnix {

TCommandPtr TTranserCommandList::AddCommand(uint8_t commandType, std::vector<uint8_t> data) {
  auto record = std::make_shared<TTranserCommandInfo>();
  record->CommandType = commandType;
  record->Data = std::move(data);
  std::scoped_lock lock(mutex_);
  record->ID = nextID_++;
  dataBytes_ += record->Data.size();
  entries_.push_back(record);
  return record;
}

TCommandPtr TTranserCommandList::AddCopy(TTranserCommandInfo record, bool assignID) {
  auto copy = std::make_shared<TTranserCommandInfo>(std::move(record));
  std::scoped_lock lock(mutex_);
  if (assignID) copy->ID = nextID_++;
  dataBytes_ += copy->Data.size();
  entries_.push_back(copy);
  return copy;
}

int TTranserCommandList::IndexOfID(uint32_t id) const {
  std::scoped_lock lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i]->ID == id) return static_cast<int>(i);
  }
  return -1;
}

std::optional<TTranserCommandInfo> TTranserCommandList::GetCopy(int index) const {
  std::scoped_lock lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return std::nullopt;
  return *entries_[static_cast<std::size_t>(index)];
}

TCommandPtr TTranserCommandList::FindID(uint32_t id) const {
  std::scoped_lock lock(mutex_);
  // Entries are in ascending ID order; the one wanted is usually near the front.
  for (const TCommandPtr& entry : entries_) {
    if (entry->ID == id) return entry;
  }
  return nullptr;
}

void TTranserCommandList::Delete(int index) {
  std::scoped_lock lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return;
  dataBytes_ -= entries_[static_cast<std::size_t>(index)]->Data.size();
  entries_.erase(entries_.begin() + index);
}

void TTranserCommandList::Clear() {
  std::scoped_lock lock(mutex_);
  entries_.clear();
  dataBytes_ = 0;
}

int TTranserCommandList::Count() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(entries_.size());
}

void TTranserCommandList::DeleteUpTo(uint32_t id) {
  std::scoped_lock lock(mutex_);
  while (!entries_.empty() && entries_.front()->ID <= id) {
    dataBytes_ -= entries_.front()->Data.size();
    entries_.pop_front();
  }
}

TCommandPtr TTranserCommandList::PopFrontIf(uint32_t id) {
  std::scoped_lock lock(mutex_);
  if (entries_.empty() || entries_.front()->ID != id) return nullptr;
  TCommandPtr front = std::move(entries_.front());
  entries_.pop_front();
  dataBytes_ -= front->Data.size();
  return front;
}

int TTranserCommandList::CountFrom(uint32_t id) const {
  std::scoped_lock lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i]->ID == id) return static_cast<int>(entries_.size() - i);
  }
  return 0;
}

std::size_t TTranserCommandList::DataBytes() const {
  std::scoped_lock lock(mutex_);
  return dataBytes_;
}

uint32_t TTranserCommandList::NextID() const {
  std::scoped_lock lock(mutex_);
  return nextID_;
}

}  // namespace tarnix

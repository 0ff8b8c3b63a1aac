#pragma once
// Collects every WriteLog line while it lives (from any thread).
#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "transport/log/Log.h"

namespace tarnix::test {

class TLogCapture {
 public:
  TLogCapture() : sink_([this](std::string_view line) {
    std::scoped_lock lock(mutex_);
    lines_.emplace_back(line);
  }) {}

  std::vector<std::string> Lines() const {
    std::scoped_lock lock(mutex_);
    return lines_;
  }
  bool Contains(std::string_view line) const {
    std::scoped_lock lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }
  // Index of the first line equal to line, -1 when absent.
  int IndexOf(std::string_view line) const {
    std::scoped_lock lock(mutex_);
    const auto it = std::find(lines_.begin(), lines_.end(), line);
    return it == lines_.end() ? -1 : static_cast<int>(it - lines_.begin());
  }
  int CountStartingWith(std::string_view prefix) const {
    std::scoped_lock lock(mutex_);
    return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [prefix](const auto& l) {
      return std::string_view(l).substr(0, prefix.size()) == prefix;
    }));
  }
  void Reset() {
    std::scoped_lock lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;  // guarded by mutex_
  ScopedLogSink sink_;              // last: detached before the lines go
};

}  // namespace tarnix::test

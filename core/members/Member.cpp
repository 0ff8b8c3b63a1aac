#include "core/members/Member.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/CoreContext.h"
#include "core/bus/EventManager.h"
#include "core/manager/BuddyIcon.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "core/members/ProgramVersion.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"
#include "transport/wire/HostMessages.h"

namespace tarnix {
namespace {

constexpr std::size_t kMaxHostNameLength = 128;

// The first IPv4 address of host in dotted form; raises when there is none.
std::string ResolveHost(const std::string& host) {
  const std::string name = host.substr(0, kMaxHostNameLength);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (error != 0 || found == nullptr) {
    throw std::runtime_error("Cannot resolve the host name \"" + name + "\": " + gai_strerror(error));
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(found, &freeaddrinfo);
  char text[INET_ADDRSTRLEN] = {};
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) {
    throw std::runtime_error("Cannot resolve the host name \"" + name + "\"");
  }
  return text;
}

}  // namespace

THCMember::THCMember(THCMemberList& list, int32_t userId, TXMLMemberType node)
    : list_(list), userId_(userId), node_(std::move(node)) {
  // Where to connect: the stored address and port, the port only with an address.
  address_ = node_.GetAddr();
  port_ = address_.empty() ? 0 : node_.GetPort();
}

THCMember::~THCMember() {
  if (link_) link_->Disconnect();
}

bool THCMember::Anonymous() const {
  try {
    return node_.GetAnonymous();
  } catch (const EConvertError&) {
    return false;
  }
}

TTranserThreadPtr THCMember::Link() const {
  std::scoped_lock lock(list_.FieldMutex());
  return link_;
}
void THCMember::SetLink(TTranserThreadPtr thread) {
  TTranserThreadPtr old;  // released outside the lock
  std::scoped_lock lock(list_.FieldMutex());
  old = std::exchange(link_, std::move(thread));
}
bool THCMember::Online() const {
  std::scoped_lock lock(list_.FieldMutex());
  return online_;
}
void THCMember::SetOnline(bool online) {
  std::scoped_lock lock(list_.FieldMutex());
  online_ = online;
}
bool THCMember::Connecting() const {
  std::scoped_lock lock(list_.FieldMutex());
  return connecting_;
}
void THCMember::SetConnecting(bool connecting) {
  std::scoped_lock lock(list_.FieldMutex());
  connecting_ = connecting;
}
std::string THCMember::Address() const {
  std::scoped_lock lock(list_.FieldMutex());
  return address_;
}
void THCMember::SetAddress(std::string address) {
  std::scoped_lock lock(list_.FieldMutex());
  address_ = std::move(address);
}
int32_t THCMember::Port() const {
  std::scoped_lock lock(list_.FieldMutex());
  return port_;
}
void THCMember::SetPort(int32_t port) {
  std::scoped_lock lock(list_.FieldMutex());
  port_ = port;
}
int32_t THCMember::State() const {
  std::scoped_lock lock(list_.FieldMutex());
  return state_;
}
void THCMember::SetState(int32_t state) {
  std::scoped_lock lock(list_.FieldMutex());
  state_ = state;
}
TMemberVersion THCMember::Version() const {
  std::scoped_lock lock(list_.FieldMutex());
  return version_;
}
void THCMember::SetVersion(const TMemberVersion& version) {
  std::scoped_lock lock(list_.FieldMutex());
  version_ = version;
}

TMemberLinkState THCMember::LinkState() const {
  std::scoped_lock lock(list_.FieldMutex());
  if (!link_) return TMemberLinkState::Idle;
  if (link_->Closing()) return TMemberLinkState::Closing;
  if (online_) return TMemberLinkState::Online;
  return connecting_ ? TMemberLinkState::Connecting : TMemberLinkState::Authenticating;
}

bool THCMember::Connected() const {
  const TTranserThreadPtr link = Link();
  return link && !link->Closing();
}

void THCMember::Connect() {
  std::string address;
  int32_t port = 0;
  {
    std::scoped_lock lock(list_.FieldMutex());
    if (link_ || connecting_) return;
    address = address_;
    port = port_;
  }
  if (!address.empty()) {
    address = ResolveHost(address);
    SetAddress(address);
  }
  if (address == "127.0.0.1" && port == list_.LocalServerPort()) {
    throw std::runtime_error(list_.Context().Text("main", "MSG_CNNTSELF"));
  }
  if (address.empty() || port <= 0) return;  // waits for an address
  TTranserThreadPtr thread = list_.Manager().Connect(address, port, false);
  {
    std::scoped_lock lock(list_.FieldMutex());
    link_ = thread;
    online_ = false;
    connecting_ = true;
  }
  thread->Start();
}

void THCMember::Disconnect() {
  if (const TTranserThreadPtr link = Link()) link->Disconnect();
}

bool THCMember::MarkAuthenticated(const TTranserThreadPtr& thread,
                                  const std::optional<std::string>& key) {
  if (key) node_.SetAuth(*key);
  TTranserThreadPtr old;
  {
    std::scoped_lock lock(list_.FieldMutex());
    old = std::exchange(link_, thread);
    online_ = true;
    connecting_ = false;
  }
  // A connection that ended before it got here would never clear the link
  // (its tnDisconnected found no member), leaving the member online on a dead
  // thread that ConnectAll can never replace. The thread is marked closed
  // before it reports tnDisconnected, so checking after the link is set
  // leaves no gap.
  if (thread->Closing() || thread->State() == csClosed) {
    std::scoped_lock lock(list_.FieldMutex());
    if (link_ == thread) {
      link_.reset();
      online_ = false;
    }
    return false;
  }
  THCCoreContext& context = list_.Context();
  if (context.events != nullptr) context.events->NotifyEvent("member/transernotify", userId_, 1);
  if (list_.OnMemberAuthenticated) list_.OnMemberAuthenticated(list_, *this);
  return true;
}

void THCMember::SendDisplayName() {
  const TTranserThreadPtr link = Link();
  if (!link) return;
  const std::string name = list_.Context().config.GetSetting().GetProfile().GetDispname();
  list_.Manager().SendInternal(
      link, imDisplayName,
      std::span(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
}

void THCMember::SendState() {
  const TTranserThreadPtr link = Link();
  if (!link) return;
  list_.Manager().SendInternal(link, imState, BuildInt32Message(list_.OwnState()));
}

void THCMember::SendIcon() {
  const TTranserThreadPtr link = Link();
  if (!link) return;
  const std::optional<std::vector<uint8_t>> picture = ReadOwnBuddyIcon(list_.Context().programFolder);
  if (!picture) return;
  list_.Manager().SendInternal(link, imBuddyIcon, *picture);
}

void THCMember::SendSettings() {
  const TTranserThreadPtr link = Link();
  if (!link) return;
  const TXMLSettingType setting = list_.Context().config.GetSetting();
  TSettingsMessage settings;
  settings.bufferSize = setting.GetSender().GetBuffersize();
  settings.serverPort = setting.GetServer().GetPort();
  settings.addressUnknown = node_.GetAddr().empty() ? 1 : 0;
  list_.Manager().SendInternal(link, imSettings, BuildSettingsMessage(settings));
}

void THCMember::SendVersion() {
  const TTranserThreadPtr link = Link();
  if (!link) return;
  const TMemberVersion v = ParseProgramVersion(list_.Context().programVersion);
  list_.Manager().SendInternal(link, imVersion, BuildVersionMessage({v[0], v[1], v[2], v[3]}));
}

void THCMember::SendVersionCode() {
  const TTranserThreadPtr link = Link();
  if (!link) return;
  list_.Manager().SendInternal(link, imVersionCode, BuildInt32Message(kRevisionCode));
}

}  // namespace tarnix

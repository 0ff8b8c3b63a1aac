// THCTranserManager: keys and authentication on both sides.
#include <mutex>
#include <random>

#include "core/CoreContext.h"
#include "core/TextFormat.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "app/config/hcConfig.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"
#include "transport/wire/HostMessages.h"
#include "transport/wire/Md5.h"

namespace tarnix {
namespace {

// The fixed part of the key text; keys are only compared, never derived again.
constexpr std::string_view kKeyTextSuffix = "認証鍵の生成";

int32_t RandomKeyNumber() {
  static std::mutex mutex;
  static std::mt19937 random(std::random_device{}());
  std::scoped_lock lock(mutex);
  return std::uniform_int_distribution<int32_t>(0, 2147483646)(random);
}

// A user name or key a peer may present: 1..maxLength bytes, no control bytes
// (they would end up in the configuration and in file names).
bool ValidAuthField(const std::string& value, std::size_t maxLength) {
  if (value.empty() || value.size() > maxLength) return false;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::string THCTranserManager::GenerateKey(const THCMember& member) const {
  return GenerateKey(member.Name());
}

std::string THCTranserManager::GenerateKey(const std::string& memberName) const {
  const TXMLRegistationType registation = context_.config.GetSetting().GetRegistation();
  const std::string material =
      registation.GetName() + "|" + memberName + "|" + std::to_string(RandomKeyNumber());
  const std::string keyText = registation.GetPass() + "|" + std::string(kKeyTextSuffix);
  const std::string cipher = EncryptText(material, keyText);
  return DigestToHex(
      Md5Of(std::span(reinterpret_cast<const uint8_t*>(cipher.data()), cipher.size())));
}

void THCTranserManager::SendAuthRequest(THCMember& member, const TTranserThreadPtr& thread) {
  TAuthRequest request;
  std::string name;
  {
    // One consistent view of the member's element, which the main thread may
    // be deleting (Delete marks it Removed under this lock first).
    std::scoped_lock lock(member.Node().ConfigLock());
    if (member.Removed()) return;
    name = member.Name();
    std::string auth = member.Node().GetAuth();
    if (auth.empty()) {
      auth = GenerateKey(name);
      member.Node().SetAuth(auth);
    }
    request.user = context_.config.GetSetting().GetRegistation().GetName();
    request.key = std::move(auth);
  }
  SendInternal(thread, imAuthRequest, BuildAuthRequest(request));
  WriteLog("Trying authentication to " + name);
}

void THCTranserManager::ReplaceOldLink(THCMember& member, const TTranserThreadPtr& thread) {
  const TTranserThreadPtr old = member.Link();
  if (!old || old == thread) return;
  old->Disconnect();
  // Its tnDisconnected clears the member's link before the thread ends.
  if (!old->WaitFor(kLinkEndWait)) {
    WriteLog("Old link of " + member.Name() + " did not end within " +
             std::to_string(kLinkEndWait.count()) + " s");
  }
}

void THCTranserManager::HandleAuthRequest(const TTranserThreadPtr& thread,
                                          std::span<const uint8_t> data) {
  if (members_ == nullptr) return;
  const TAuthRequest request = ParseAuthRequest(data);
  // 1: an anonymous peer is online at once, without an answer.
  if (request.user.empty() && request.key == kAnonymousKey) {
    const THCMemberPtr member = members_->AddAnonymous();
    const TXMLMemberType& node = member->Node();
    node.SetName(kAnonymousKey);
    node.SetAuth(kAnonymousKey);
    node.SetDispname(kAnonymousKey);
    member->MarkAuthenticated(thread, std::nullopt);
    return;
  }
  if (!ValidAuthField(request.user, kMaxAuthNameLength) ||
      !ValidAuthField(request.key, kMaxAuthKeyLength)) {
    WriteLog("Authentication refused: a user name of " + std::to_string(request.user.size()) +
             " bytes and a key of " + std::to_string(request.key.size()) +
             " bytes (each must be 1 to 255 bytes without control characters)");
    SendInternal(thread, imAuthResult, BuildInt32Message(2));
    return;
  }
  // 2: an unknown peer waits for the user's answer.
  const THCMemberPtr member = members_->FindByName(request.user);
  if (!member) {
    FireNewPeer(TNewPeerRequest{thread, request.key, request.user});
    return;
  }
  // 3: a known member. The key is compared before anything else: an old link
  // is replaced only for a peer that proved the key, so knowing a member's
  // name is not enough to knock that member offline.
  const std::string auth = member->Node().GetAuth();
  const int32_t result = auth == request.key || auth.empty() ? 0 : 1;
  const std::string name = member->Name();
  if (result != 0) {
    SendInternal(thread, imAuthResult, BuildInt32Message(result));
    WriteLog("Authentication NG: " + name);
    return;  // the connection stays open until the peer closes it
  }
  ReplaceOldLink(*member, thread);
  SendInternal(thread, imAuthResult, BuildInt32Message(0));
  // The member's link is not this connection yet: the code goes on it directly.
  SendInternal(thread, imVersionCode, BuildInt32Message(kRevisionCode));
  member->MarkAuthenticated(thread, request.key);
  WriteLog("Authentication OK: " + name);
}

void THCTranserManager::HandleAuthResult(const TTranserThreadPtr& thread,
                                         std::span<const uint8_t> data) {
  if (members_ == nullptr) return;
  const int32_t result = ParseInt32Message(data);
  const THCMemberPtr member = members_->FindByThread(thread.get());
  if (!member) return;
  const std::string name = member->Name();
  switch (result) {
    case 0:
      member->SendVersionCode();
      member->MarkAuthenticated(thread, std::nullopt);
      WriteLog("Authentication OK: " + name);
      break;
    case 1:
    case 2:
      member->SetOnline(false);
      thread->Disconnect();
      WriteLog("Authentication NG: " + name);
      if (result == 1 && !member->Anonymous() && context_.ports.messageBox) {
        context_.ports.messageBox(
            FormatText(context_.Text("mainform", "MEMBER_INVALID_KEY"), name),
            context_.Text("mainform", "CONNECTION_ERROR"), kCoreMbOk | kCoreMbIconError);
      }
      break;
    default:
      break;
  }
}

void THCTranserManager::AcceptNewPeer(bool accept, const TNewPeerRequest& request) {
  const TTranserThreadPtr thread = request.link.lock();
  if (!thread || !IsRegistered(thread.get())) return;
  int32_t result = 2;
  if (accept) {
    if (members_ == nullptr) return;
    const THCMemberPtr member = members_->Add();
    const TXMLMemberType& node = member->Node();
    node.SetName(request.name);
    node.SetDispname(request.name);
    node.SetAuth(request.key);
    member->MarkAuthenticated(thread, std::nullopt);
    result = 0;
  }
  SendInternal(thread, imAuthResult, BuildInt32Message(result));
}

}  // namespace tarnix

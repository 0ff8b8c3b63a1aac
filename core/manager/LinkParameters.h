#pragma once
// Link parameters from a peer's imSettings: the chunk size both sides agree
// on, and what the member's stored address and port learn from the peer.
#include <optional>
#include <string>

namespace tarnix {

// The smaller of the peer's and the own configured buffer size.
int AgreedBufferSize(int peerBufferSize, int ownBufferSize);

// What changes in the member's element (addr, port); unset fields stay.
struct TLinkUpdate {
  std::optional<int> port;
  std::optional<std::string> addr;
  bool operator==(const TLinkUpdate&) const = default;
};

// A member with an address takes the peer's port; a member without address
// and without port takes the peer's port and, when the peer knows this side's
// address (addressUnknown 0), the connection's remote host as its address; a
// member without address but with a port keeps both.
TLinkUpdate DecideLinkUpdate(const std::string& memberAddr, int memberPort, int peerPort,
                             int addressUnknown, const std::string& remoteHost);

}  // namespace tarnix

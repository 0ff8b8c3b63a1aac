#include "core/manager/LinkParameters.h"

#include <algorithm>

namespace tarnix {

int AgreedBufferSize(int peerBufferSize, int ownBufferSize) {
  return std::min(peerBufferSize, ownBufferSize);
}

TLinkUpdate DecideLinkUpdate(const std::string& memberAddr, int memberPort, int peerPort,
                             int addressUnknown, const std::string& remoteHost) {
  TLinkUpdate update;
  if (!memberAddr.empty()) {
    update.port = peerPort;
  } else if (memberPort == 0) {
    update.port = peerPort;
    if (addressUnknown == 0) update.addr = remoteHost;
  }
  return update;
}

}  // namespace tarnix

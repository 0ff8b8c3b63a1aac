#pragma once
// Connection states and connection notification codes (OnTranserNotify).
#include <cstdint>

namespace tarnix {

enum TTranserConnectionState : uint8_t {
  csStarting = 0,     // connecting or accepting
  csHandshake = 1,    // banner exchange
  csEstablished = 2,  // frames flow; tasks run
  csClosed = 4,       // the loop has ended
};

// A connection reports one of: tnConnectFailed, tnDisconnected;
// tnProtocolInvalid, tnDisconnected; tnConnected, ..., tnDisconnecting,
// tnDisconnected. OnTranserEnd follows tnDisconnected.
enum TTranserNotifyCode : int {
  tnConnected = 1,         // the banner exchange succeeded
  tnConnectFailed = 2,     // connect or accept failed
  tnDisconnecting = 9,     // the main loop has ended; tasks are about to be aborted
  tnDisconnected = 10,     // the final step, whatever happened before
  tnProtocolInvalid = 20,  // the peer's banner did not match or did not come
};

}  // namespace tarnix

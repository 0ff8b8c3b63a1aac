#pragma once
// A loopback port nobody listens on right now, chosen by the system; for
// tests whose program must be told its port before it starts.

namespace tarnix::test {

// Returns 0 when the system gives none.
int FreePort();

}  // namespace tarnix::test

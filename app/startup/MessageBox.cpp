#include "app/startup/MessageBox.h"

#include <algorithm>
#include <iostream>
#include <vector>

namespace tarnix {
namespace {

// The attached ports, the newest last; main thread only, like every message
// box. Scopes may end in any order: each takes out only its own entry.
std::vector<IMessageBoxPort*>& Ports() {
  static std::vector<IMessageBoxPort*> ports;
  return ports;
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  IMessageBoxPort* port = Ports().empty() ? nullptr : Ports().back();
  if (port != nullptr) return port->ShowMessageBox(text, caption, type);
  std::cerr << caption << ": " << text << '\n';
  switch (type & kMbButtonMask) {
    case kMbOkCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
  }
}

ScopedMessageBoxPort::ScopedMessageBoxPort(IMessageBoxPort* port) : port_(port) {
  Ports().push_back(port);
}

ScopedMessageBoxPort::~ScopedMessageBoxPort() {
  std::vector<IMessageBoxPort*>& ports = Ports();
  const auto it = std::find(ports.rbegin(), ports.rend(), port_);
  if (it != ports.rend()) ports.erase(std::next(it).base());
}

}  // namespace tarnix

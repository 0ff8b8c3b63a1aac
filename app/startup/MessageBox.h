#pragma once
// ShowMessageBox: the one way any part of the program asks the user with a
// modal box. It goes to the message-box port attached for the run; without
// one (before the windows exist, in tools) the text goes to standard error and
// the answer is the cautious button: OK for an OK box, otherwise Cancel or No.
#include <string>

#include "app/startup/UiPorts.h"

namespace tarnix {

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type);

// Attaches port for as long as the object lives; the port attached before
// comes back afterwards, also when scopes end out of order. Main thread only.
class ScopedMessageBoxPort {
 public:
  explicit ScopedMessageBoxPort(IMessageBoxPort* port);
  ~ScopedMessageBoxPort();
  ScopedMessageBoxPort(const ScopedMessageBoxPort&) = delete;
  ScopedMessageBoxPort& operator=(const ScopedMessageBoxPort&) = delete;

 private:
  IMessageBoxPort* port_;
};

}  // namespace tarnix

#pragma once
// The Qt implementations of the dialog ports: message boxes, the first-run
// language choice and login dialog, and a minimal settings dialog.
#include "app/startup/UiPorts.h"

namespace tarnix {

class TQtMessageBoxPort final : public IMessageBoxPort {
 public:
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
};

class TQtFirstRunDialogs final : public IFirstRunDialogs {
 public:
  std::string SelectLanguage(const std::vector<std::string>& languages,
                             const std::string& current) override;
  TLoginResult Login(const std::string& name, const std::string& pass) override;
};

class TQtSettingsDialog final : public ISettingsDialogPort {
 public:
  int ShowSettings() override;
};

// Once the program is being shut down from outside (a shutdown signal), no
// dialog may wait for the user: this rejects every open modal dialog and
// message box, innermost first, so that their loops end, and makes every
// later dialog of these ports answer Cancel (or No) at once.
void RefuseDialogs();
bool DialogsRefused();

}  // namespace tarnix

#pragma once
// Fake UI ports for headless tests of the start-up sequence: they record what
// would have been shown and answer from a script.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/startup/UiPorts.h"

namespace tarnix::test {

struct TShownMessageBox {
  std::string text;
  std::string caption;
  unsigned type = 0;
};

// Answers the scripted codes in order; once they run out, the cautious button
// (OK for an OK box, otherwise Cancel or No).
class TFakeMessageBox final : public IMessageBoxPort {
 public:
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  std::vector<TShownMessageBox> shown;
  std::deque<int> answers;
  std::vector<std::string> Captions() const;
};

class TFakeFirstRunDialogs final : public IFirstRunDialogs {
 public:
  std::string SelectLanguage(const std::vector<std::string>& languages,
                             const std::string& current) override;
  TLoginResult Login(const std::string& name, const std::string& pass) override;

  // Script: the language chosen ("" = keep the stored one) and the login's outcome.
  std::string languageAnswer;
  TLoginResult loginAnswer;  // cancelled unless a test says otherwise
  // Record.
  int languageCalls = 0;
  int loginCalls = 0;
  std::vector<std::string> offeredLanguages;
};

class TFakeSettingsDialog final : public ISettingsDialogPort {
 public:
  int ShowSettings() override {
    ++calls;
    return answer;
  }
  int answer = kIdOk;
  int calls = 0;
};

// Records every hook the sequence calls, in order, in events (for example
// "ShowWindow", "SetStatusText:Logging in...").
class TFakeMainWindow final : public IMainWindowPort {
 public:
  void SetStatusText(const std::string& text) override;
  void SetEchoText(const std::string& text) override;
  bool IsStartingPanelVisible() const override { return startingPanelVisible; }
  void ShowStartingPanel() override;
  void HideStartingPanel() override;
  void ShowWindow() override;
  void HideWindow() override;
  void SetGeometry(const TWindowGeometry& g) override;
  TWindowGeometry Geometry() const override { return geometry; }
  TScreenLayout ScreenLayout() const override { return screen; }
  void SetTaskButton(bool visible) override;
  void InitializeForm() override;
  void ShowMemberPanel() override;
  void ClearMemberSelection() override;
  void FitToolBar() override;
  TMemberListEvents MemberEventHandlers() override;
  void EnableConnectTimer(bool enabled) override;
  void HideTrayIcon() override;
  void TerminateApplication() override;

  bool Saw(const std::string& event) const;

  std::vector<std::string> events;
  std::string statusText;
  std::string echoText;
  bool startingPanelVisible = false;
  bool visible = false;
  bool connectTimer = false;
  bool trayHidden = false;
  int terminateCalls = 0;
  TWindowGeometry geometry{70, 100, 225, 300};
  TScreenLayout screen{1920, 1080, {0, 1040, 1920, 1080}};
  std::string initializeFormError;  // InitializeForm throws this when set
  // Called after each recorded event, to act in the middle of a sequence.
  std::function<void(const std::string& event)> onEvent;

 private:
  void Record(std::string event);
};

// One set of fakes and the ports that point at them.
struct TFakeUi {
  TFakeMessageBox messageBox;
  TFakeFirstRunDialogs firstRun;
  TFakeSettingsDialog settings;
  TFakeMainWindow mainWindow;
  TUiPorts Ports() { return {&messageBox, &firstRun, &settings, &mainWindow}; }
};

}  // namespace tarnix::test

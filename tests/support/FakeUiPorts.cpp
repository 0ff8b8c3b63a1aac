#include "tests/support/FakeUiPorts.h"

#include <algorithm>
#include <stdexcept>

namespace tarnix::test {

int TFakeMessageBox::ShowMessageBox(const std::string& text, const std::string& caption,
                                    unsigned type) {
  shown.push_back({text, caption, type});
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  switch (type & kMbButtonMask) {
    case kMbOkCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
  }
}

std::vector<std::string> TFakeMessageBox::Captions() const {
  std::vector<std::string> captions;
  for (const TShownMessageBox& box : shown) captions.push_back(box.caption);
  return captions;
}

std::string TFakeFirstRunDialogs::SelectLanguage(const std::vector<std::string>& languages,
                                                 const std::string& current) {
  ++languageCalls;
  offeredLanguages = languages;
  return languageAnswer.empty() ? current : languageAnswer;
}

TLoginResult TFakeFirstRunDialogs::Login(const std::string&, const std::string&) {
  ++loginCalls;
  return loginAnswer;
}

void TFakeMainWindow::SetStatusText(const std::string& text) {
  statusText = text;
  Record("SetStatusText:" + text);
}

void TFakeMainWindow::SetEchoText(const std::string& text) { echoText = text; }

void TFakeMainWindow::ShowStartingPanel() {
  startingPanelVisible = true;
  Record("ShowStartingPanel");
}

void TFakeMainWindow::HideStartingPanel() {
  startingPanelVisible = false;
  Record("HideStartingPanel");
}

void TFakeMainWindow::ShowWindow() {
  visible = true;
  Record("ShowWindow");
}

void TFakeMainWindow::HideWindow() {
  visible = false;
  Record("HideWindow");
}

void TFakeMainWindow::SetGeometry(const TWindowGeometry& g) {
  geometry = g;
  Record("SetGeometry");
}

void TFakeMainWindow::SetTaskButton(bool visibleButton) {
  Record(visibleButton ? "SetTaskButton:1" : "SetTaskButton:0");
}

void TFakeMainWindow::InitializeForm() {
  Record("InitializeForm");
  if (!initializeFormError.empty()) throw std::runtime_error(initializeFormError);
}

void TFakeMainWindow::ShowMemberPanel() { Record("ShowMemberPanel"); }

void TFakeMainWindow::ClearMemberSelection() { Record("ClearMemberSelection"); }

void TFakeMainWindow::FitToolBar() { Record("FitToolBar"); }

TMemberListEvents TFakeMainWindow::MemberEventHandlers() {
  Record("MemberEventHandlers");
  return {};
}

void TFakeMainWindow::EnableConnectTimer(bool enabled) {
  connectTimer = enabled;
  Record(enabled ? "EnableConnectTimer:1" : "EnableConnectTimer:0");
}

void TFakeMainWindow::HideTrayIcon() {
  trayHidden = true;
  Record("HideTrayIcon");
}

void TFakeMainWindow::TerminateApplication() {
  ++terminateCalls;
  Record("TerminateApplication");
}

void TFakeMainWindow::Record(std::string event) {
  events.push_back(event);
  if (onEvent) onEvent(event);
}

bool TFakeMainWindow::Saw(const std::string& event) const {
  return std::find(events.begin(), events.end(), event) != events.end();
}

}  // namespace tarnix::test

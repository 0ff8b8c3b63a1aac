#pragma once
// The start-up sequence reaches the user only through these small interfaces
// ("UI ports"): message boxes, the first-run dialogs, the settings dialog and
// the hooks of the main window. The program implements them with Qt widgets;
// tests implement them with fakes that record what was shown. All of them are
// called on the main thread only.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarnix {

// Message box type: one button set ORed with one icon. The values and the
// button codes below are the classic ones, so plugins and language files that
// carry them as numbers keep their meaning.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbYesNo = 0x04;
inline constexpr unsigned kMbButtonMask = 0x0F;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbIconMask = 0xF0;

// Button codes returned by a message box and modal results of dialogs.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class IMessageBoxPort {
 public:
  virtual ~IMessageBoxPort() = default;
  // Shows a modal box owned by the active window; returns the button code.
  virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                             unsigned type) = 0;
};

// What the login dialog yields; name, pass and enabled mean something only
// when result is kIdOk.
struct TLoginResult {
  int result = kIdCancel;
  std::string name;
  std::string pass;
  bool enabled = false;
};

class IFirstRunDialogs {
 public:
  virtual ~IFirstRunDialogs() = default;
  // The language choice: the entries of the language folder and the stored
  // choice; returns the entry chosen (the stored one when nothing was chosen).
  virtual std::string SelectLanguage(const std::vector<std::string>& languages,
                                     const std::string& current) = 0;
  // The login dialog, filled with the stored name and password.
  virtual TLoginResult Login(const std::string& name, const std::string& pass) = 0;
};

class ISettingsDialogPort {
 public:
  virtual ~ISettingsDialogPort() = default;
  // Runs the settings dialog modally; kIdOk or kIdCancel.
  virtual int ShowSettings() = 0;
};

// Window geometry in screen pixels.
struct TWindowGeometry {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TWindowGeometry&) const = default;
};

// A rectangle by its edges (right and bottom exclusive).
struct TScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const TScreenRect&) const = default;
};

// The screen and the rectangle of the panel that holds the tray, for placing
// the window next to it after the first run.
struct TScreenLayout {
  int width = 0;
  int height = 0;
  TScreenRect taskbar;
};

// Handlers the main window hangs on the member list; members are named by
// their run-time UserID.
struct TMemberListEvents {
  std::function<void(std::int32_t userId)> onAuthenticated;
  std::function<void(std::int32_t userId)> onDisconnected;
  std::function<void(std::int32_t userId, int code)> onNotify;
};

// What the start-up and shut-down sequence needs of the main window.
class IMainWindowPort {
 public:
  virtual ~IMainWindowPort() = default;

  // The start-up panel (pnlStarting): lblState holds the phase, lblEcho the
  // latest log line. Setters repaint at once.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetEchoText(const std::string& text) = 0;
  virtual bool IsStartingPanelVisible() const = 0;
  virtual void ShowStartingPanel() = 0;  // brought to the front and repainted
  virtual void HideStartingPanel() = 0;

  virtual void ShowWindow() = 0;
  virtual void HideWindow() = 0;
  virtual void SetGeometry(const TWindowGeometry& geometry) = 0;
  virtual TWindowGeometry Geometry() const = 0;
  virtual TScreenLayout ScreenLayout() const = 0;
  // true: the application has a taskbar button; false: a tool window.
  virtual void SetTaskButton(bool visible) = 0;

  // Form initialisation (status menu, member tab, language of the form). May throw.
  virtual void InitializeForm() = 0;
  virtual void ShowMemberPanel() = 0;
  virtual void ClearMemberSelection() = 0;
  virtual void FitToolBar() = 0;  // tbTools as wide as the window
  virtual TMemberListEvents MemberEventHandlers() = 0;

  // tmConnect: first 600000 ms, then every 300000 ms; disabling resets it.
  virtual void EnableConnectTimer(bool enabled) = 0;
  virtual void HideTrayIcon() = 0;
  // Ends the message loop; the program entry then logs its last line.
  virtual void TerminateApplication() = 0;

  // The member tree: rebuilt (a member's name or state changed) or repainted
  // (a member's picture arrived). Nothing by default.
  virtual void RefreshMemberList() {}
  virtual void RepaintMemberTree() {}
  // The user's own presence state changed (or was set again by a plugin).
  // Nothing by default.
  virtual void RefreshOwnState() {}
};

// What the new-member prompt showed, for the alert that goes with it.
struct TNewPeerPromptShown {
  std::string caption;
  std::string message;
  std::intptr_t window = 0;
};

// The new-member prompt: asks whether an unknown peer may become a member.
// It is not modal and holds one request; a new request replaces the one still
// pending, whose answer is then never given. answer(true) accepts, answer(false)
// denies; closing the prompt otherwise answers nothing.
class INewPeerPromptPort {
 public:
  virtual ~INewPeerPromptPort() = default;
  virtual TNewPeerPromptShown ShowNewPeerPrompt(const std::string& userName,
                                                std::function<void(bool accept)> answer) = 0;
};

// The picture check: true when data is a bitmap the program can read.
class IPictureCheckPort {
 public:
  virtual ~IPictureCheckPort() = default;
  virtual bool IsReadableBitmap(const std::uint8_t* data, std::size_t size) = 0;
};

// The ports one run uses; the sequence never owns them.
struct TUiPorts {
  IMessageBoxPort* messageBox = nullptr;
  IFirstRunDialogs* firstRun = nullptr;
  ISettingsDialogPort* settings = nullptr;
  IMainWindowPort* mainWindow = nullptr;
  INewPeerPromptPort* newPeerPrompt = nullptr;  // none: unknown peers wait unanswered
  IPictureCheckPort* pictures = nullptr;        // none: the core's own bitmap check
};

}  // namespace tarnix

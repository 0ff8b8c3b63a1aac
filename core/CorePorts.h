#pragma once
// What the member core needs of the layers above it, handed down at start-up:
// language texts, message boxes, the picture check, the main window's member
// tree, and the hooks through which the plugin layer shows members and task
// streams to plugins. Every entry may be left empty; the core then does
// without (no text, no box, no repaint) and uses its own bitmap check.
// All of them are called on the main thread, except the task-route hooks,
// which run on connection threads.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

class IHCPMember;
class IHCStream;

namespace tarnix {

class TStream;
class THCMember;
class TTranserThread;

// An unknown peer waiting for the user's answer (the new-member prompt). The
// link is weak: a peer that leaves meanwhile is simply gone when answered.
struct TNewPeerRequest {
  std::weak_ptr<TTranserThread> link;
  std::string key;
  std::string name;
};

// Message box type bits, as the program's message box port reads them.
inline constexpr unsigned kCoreMbOk = 0x00;
inline constexpr unsigned kCoreMbIconError = 0x10;

struct THCCorePorts {
  // The language text of section and key ("" when there is none).
  std::function<std::string(const std::string& section, const std::string& key)> text;
  // A modal message box owned by the active window; returns the button code.
  std::function<int(const std::string& text, const std::string& caption, unsigned type)> messageBox;
  // The new-member prompt: shows itself for the request (replacing any request
  // still pending) and answers later through THCTranserManager::AcceptNewPeer.
  std::function<void(const TNewPeerRequest& request)> newPeer;
  // True when data is a picture the program can read as a bitmap. Empty:
  // IsPlausibleBitmap (core/manager/BuddyIcon.h) decides.
  std::function<bool(std::span<const uint8_t> data)> isReadableBitmap;
  // The main window rebuilds its member tree / repaints it.
  std::function<void()> refreshMemberList;
  std::function<void()> repaintMemberTree;
  // An exception ended a connection loop (the main window's handler of
  // unhandled exceptions); posted to the main thread.
  std::function<void(const std::string& className, const std::string& message)> applicationException;
  // The main window, as the owner of alerts.
  std::intptr_t mainWindow = 0;
};

// Set by the plugin layer: how a task notification shows its member and its
// stream to a plugin service. Called on connection threads. The views come as
// shared references whose deleter releases the interface.
struct THCTaskRouteHooks {
  // The member's plugin view, or null.
  std::function<std::shared_ptr<IHCPMember>(THCMember& member)> memberView;
  // The plugin stream behind a task's stream, or null when the stream is not
  // a plugin's.
  std::function<std::shared_ptr<IHCStream>(TStream* stream)> streamView;
  // The task is being freed: release the host-side adapter of a plugin stream;
  // nothing for a stream that is not one of the plugin layer's.
  std::function<void(TStream* stream)> releaseStream;
};

}  // namespace tarnix

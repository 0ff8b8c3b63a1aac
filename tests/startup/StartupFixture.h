#pragma once
// A scratch program folder, fake UI ports, a hand-driven main loop and
// recording subsystems for driving the start-up sequence headless.
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/config/hcConfig.h"
#include "app/startup/Alert.h"
#include "app/startup/MainLoop.h"
#include "app/startup/Placeholders.h"
#include "app/startup/ProgramContext.h"
#include "app/startup/Startup.h"
#include "plugin/sdk/HCRecords.h"
#include "tests/support/FakeUiPorts.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempFolder.h"

namespace tarnix::test {

// What the recording subsystems did, in order.
using TJournal = std::vector<std::string>;

inline int JournalIndex(const TJournal& journal, const std::string& entry) {
  for (size_t i = 0; i < journal.size(); ++i) {
    if (journal[i] == entry) return static_cast<int>(i);
  }
  return -1;
}

class TRecordingMemberList final : public IMemberList {
 public:
  TRecordingMemberList(TJournal& journal, std::vector<std::string> names, std::vector<bool> links,
                       std::string connectError)
      : journal_(journal), names_(std::move(names)), links_(std::move(links)),
        connectError_(std::move(connectError)) {}
  int Count() const override { return static_cast<int>(names_.size()); }
  std::string Name(int index) const override { return names_.at(index); }
  bool HasLiveLink(int index) const override { return links_.at(index); }
  void ConnectAll() override {
    journal_.push_back("ConnectAll");
    if (!connectError_.empty()) throw std::runtime_error(connectError_);
  }
  void Disconnect(int index) override { journal_.push_back("Disconnect:" + names_.at(index)); }
  void SetEvents(const TMemberListEvents&) override { journal_.push_back("SetEvents"); }

 private:
  TJournal& journal_;
  std::vector<std::string> names_;
  std::vector<bool> links_;
  std::string connectError_;
};

class TRecordingConnectionService final : public IConnectionService {
 public:
  TRecordingConnectionService(TJournal& journal, bool loginResult)
      : journal_(journal), loginResult_(loginResult) {}
  bool Login(const std::string& name, const std::string& pass, bool hash, int port) override {
    journal_.push_back("Login:" + name + ":" + pass + ":" + (hash ? "hash" : "plain") + ":" +
                       std::to_string(port));
    return loginResult_;
  }
  void MarkLoggedIn() override { journal_.push_back("MarkLoggedIn"); }
  void GetMemberAddresses() override { journal_.push_back("GetMemberAddresses"); }
  void Logout() override { journal_.push_back("Logout"); }

 private:
  TJournal& journal_;
  bool loginResult_;
};

class TRecordingUpnp final : public IUpnpController {
 public:
  TRecordingUpnp(TJournal& journal, bool discovers) : journal_(journal), discovers_(discovers) {}
  bool DiscoverGateway() override {
    journal_.push_back("Discover");
    return discovers_;
  }
  bool AddPortMapping(int external, int internal) override {
    journal_.push_back("AddPortMapping:" + std::to_string(external) + ":" + std::to_string(internal));
    return true;
  }
  bool DeletePortMapping(int external) override {
    journal_.push_back("DeletePortMapping:" + std::to_string(external));
    return true;
  }

 private:
  TJournal& journal_;
  bool discovers_;
};

// A plugin list whose "plugins" provide "ui/alert" (recording the alerts) and
// hook "system/loaded" and "system/finalize" (recording them in the journal).
class TBusPluginList final : public IPluginList {
 public:
  TBusPluginList(TProgramContext& ctx, TJournal& journal, std::vector<TAlert>& alerts,
                 std::string loadError)
      : ctx_(ctx), journal_(journal), alerts_(alerts), loadError_(std::move(loadError)) {}
  void Add(std::unique_ptr<IPlugin> plugin) override { plugins_.push_back(std::move(plugin)); }
  void LoadFolder(const std::filesystem::path&) override {
    if (!loadError_.empty()) throw std::runtime_error(loadError_);
    ctx_.services->CreateService("ui/alert", [this](std::intptr_t wParam, std::intptr_t) {
      const auto* record = reinterpret_cast<const AlertRecord*>(wParam);
      EXPECT_EQ(record->Reserved, -1);
      EXPECT_EQ(record->X, 0);
      EXPECT_EQ(record->Y, 0);
      EXPECT_EQ(record->Flags, 0);
      TAlert alert;
      alert.kind = record->Kind;
      alert.displayTime = record->DisplayTime;
      alert.title = record->Title;
      alert.text = record->Text;
      alert.owner = reinterpret_cast<void*>(record->OwnerWindow);
      alert.option1 = record->Option1;
      alert.option2 = record->Option2;
      alert.option3 = record->Option3;
      alerts_.push_back(alert);
      return std::intptr_t{0};
    });
    for (const char* event : {"system/loaded", "system/finalize"}) {
      ctx_.events->HookEvent(event, [this, event](std::intptr_t, std::intptr_t) {
        journal_.push_back(std::string("event:") + event);
        return std::intptr_t{0};
      });
    }
  }

 private:
  TProgramContext& ctx_;
  TJournal& journal_;
  std::vector<TAlert>& alerts_;
  std::string loadError_;
  std::vector<std::unique_ptr<IPlugin>> plugins_;
};

class StartupFixture : public ::testing::Test {
 protected:
  StartupFixture() : folder_("tarnix startup test") {
    factories_ = PlaceholderFactories();
    factories_.pluginList = [this](TProgramContext& ctx) -> std::unique_ptr<IPluginList> {
      return std::make_unique<TBusPluginList>(ctx, journal_, alerts_, pluginLoadError_);
    };
  }

  // The context for a run with these arguments after the program path.
  TProgramContext& MakeContext(std::vector<std::string> args = {}) {
    args.insert(args.begin(), (folder_ / "tarnix").string());
    ctx_.reset();  // one run at a time, like the process
    ctx_ = std::make_unique<TProgramContext>(folder_.Path(), std::move(args), ui_.Ports(), loop_,
                                             factories_);
    return *ctx_;
  }

  ConfigFile File() const { return ConfigFile::ForProgramFolder(folder_.Path()); }

  // Writes config/config.dat: the default, configured, then edit's changes.
  void WriteConfig(const std::function<void(const TXMLConfigType&)>& edit = {}) {
    const TXMLConfigType config = ParseConfigText(DefaultConfigText());
    config.GetSetting().GetProfile().SetConfigured(true);
    if (edit) edit(config);
    std::filesystem::create_directories(folder_ / "config");
    SaveConfig(config, File());
  }

  // The configuration as it is in the file now.
  TXMLConfigType SavedConfig() const { return LoadConfig(File()); }

  // A member list of these names and links, recording into the journal.
  void UseMembers(std::vector<std::string> names, std::vector<bool> links,
                  std::string connectError = "") {
    factories_.memberList = [this, names, links, connectError](TProgramContext&) {
      return std::make_unique<TRecordingMemberList>(journal_, names, links, connectError);
    };
  }

  std::vector<std::string> Captions() const { return ui_.messageBox.Captions(); }

  TTempFolder folder_;
  TLogCapture log_;
  TJournal journal_;
  std::vector<TAlert> alerts_;
  std::string pluginLoadError_;
  TMainLoop loop_;
  TFakeUi ui_;
  TSubsystemFactories factories_;
  std::unique_ptr<TProgramContext> ctx_;
};

}  // namespace tarnix::test

// Two complete hosts in one process, connected over 127.0.0.1, each with its
// own copy of the exchange plugin: an internal message, a stream task and a
// task fed by a buffer routine travel from one plugin to the same plugin on
// the peer, through the real API objects, task routing and transport.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/api/THCStream.h"
#include "tests/plugin/PluginTestHost.h"

namespace tarnix {
namespace {

namespace fs = std::filesystem;
using plugintest::TPluginTestHost;
using test::PumpUntil;

const fs::path kExchangePlugin = fs::path(TARNIX_TEST_PLUGIN_DIR) / "exchange.so";

// The data the plugin sends and the digest it reports (see ExchangePlugin.cpp).
uint32_t PatternDigest(size_t count) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < count; ++i) {
    hash = (hash ^ static_cast<uint8_t>((i * 7 + 3) & 0xFF)) * 16777619u;
  }
  return hash;
}

std::string Report(TPluginTestHost& host) {
  const intptr_t length = host.Call("exchange/report", 0, 0);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  host.Call("exchange/report", reinterpret_cast<intptr_t>(buffer.data()),
            static_cast<intptr_t>(buffer.size()));
  return buffer.data();
}

bool Contains(const std::string& report, const std::string& text) {
  return report.find(text) != std::string::npos;
}

bool Reported(TPluginTestHost& host, const std::string& line) {
  return Contains(Report(host), line + "\n");
}

class ExchangeTest : public testing::Test {
 protected:
  void SetUp() override {
    adaptersBefore_ = THCStreamAdapters::Count();
    alice_.core.Start();
    bob_.core.Start();
    ASSERT_TRUE(alice_.LoadCopy(kExchangePlugin));
    ASSERT_TRUE(bob_.LoadCopy(kExchangePlugin));
    bobAtAlice_ = alice_.core.AddMemberFor(bob_.core);
    aliceAtBob_ = bob_.core.AddMember("alice");
    alice_.core.members->ConnectAll();
    ASSERT_TRUE(Pump([&] { return bobAtAlice_->Online() && aliceAtBob_->Online(); }));
  }

  bool Pump(const std::function<bool()>& condition) {
    return PumpUntil({&alice_.core, &bob_.core}, condition);
  }

  size_t adaptersBefore_ = 0;
  TPluginTestHost alice_{"alice"};
  TPluginTestHost bob_{"bob"};
  THCMemberPtr bobAtAlice_;
  THCMemberPtr aliceAtBob_;
};

TEST_F(ExchangeTest, AnInternalMessageReachesThePeersPluginWithItsSender) {
  EXPECT_EQ(alice_.Call("exchange/sendmessage", bobAtAlice_->UserID(), 42), HCPE_ALLRIGHT);
  EXPECT_TRUE(Pump([&] { return Reported(bob_, "msg 42 hello from alice from alice"); }))
      << Report(bob_);
  // And back the other way.
  EXPECT_EQ(bob_.Call("exchange/sendmessage", aliceAtBob_->UserID(), -7), HCPE_ALLRIGHT);
  EXPECT_TRUE(Pump([&] { return Reported(alice_, "msg -7 hello from bob from bob"); }))
      << Report(alice_);
  // Both message tasks are gone on both sides, and their stream adapters with them.
  EXPECT_TRUE(Pump([&] { return THCStreamAdapters::Count() == adaptersBefore_; }));
}

TEST_F(ExchangeTest, AStreamTaskIsAcceptedProgressesAndEndsWithTheSameBytes) {
  constexpr size_t kSize = 100000;  // several chunks of the default buffer size
  EXPECT_EQ(alice_.Call("exchange/sendstream", bobAtAlice_->UserID(), kSize), HCPE_ALLRIGHT);
  // Received in full into the plugin's own stream (the tag is checked below).
  const std::string end =
      "end 1 0 300 " + std::to_string(kSize) + " " + std::to_string(PatternDigest(kSize)) + " 1 ";
  ASSERT_TRUE(Pump([&] { return Contains(Report(bob_), end) && Reported(alice_, "end 0 0 300"); }))
      << "bob:\n"
      << Report(bob_) << "alice:\n"
      << Report(alice_);
  const std::string bobs = Report(bob_);
  // The task copy: the record, then "exchange" and "stream" with their NULs.
  const size_t copySize = sizeof(TTranserTaskInfo) + 9 + 7;
  EXPECT_NE(bobs.find("gettask " + std::to_string(copySize) + " exchange stream 1\n"),
            std::string::npos)
      << bobs;
  EXPECT_LT(bobs.find("accept 0 0\n"), bobs.find("progress 1 0\n")) << bobs;
  EXPECT_LT(bobs.find("progress 1 0\n"), bobs.find(end)) << bobs;
  EXPECT_TRUE(Pump([&] {
    return Contains(Report(bob_), "freed 1 0 ") && Contains(Report(alice_), "freed 0 0 ") &&
           THCStreamAdapters::Count() == adaptersBefore_;
  })) << "bob:\n"
      << Report(bob_) << "alice:\n"
      << Report(alice_);
}

TEST_F(ExchangeTest, ATaskFedByABufferRoutineArrivesChunkByChunkDuringProgress) {
  constexpr size_t kSize = 70000;
  EXPECT_EQ(alice_.Call("exchange/sendproc", bobAtAlice_->UserID(), kSize), HCPE_ALLRIGHT);
  const std::string end =
      "end 1 1 300 " + std::to_string(kSize) + " " + std::to_string(PatternDigest(kSize)) + " - ";
  ASSERT_TRUE(Pump([&] { return Contains(Report(bob_), end) && Reported(alice_, "end 0 1 300"); }))
      << "bob:\n"
      << Report(bob_) << "alice:\n"
      << Report(alice_);
  const std::string bobs = Report(bob_);
  const size_t copySize = sizeof(TTranserTaskInfo) + 9 + 5;
  EXPECT_NE(bobs.find("gettask " + std::to_string(copySize) + " exchange proc 1\n"),
            std::string::npos)
      << bobs;
  EXPECT_NE(bobs.find("accept 1 0\n"), std::string::npos) << bobs;
  EXPECT_NE(bobs.find("progress 1 1\n"), std::string::npos) << bobs;
}

// Once mended in the task routing: a tag given to AcceptTask was overwritten
// by the record's old tag, and the removal notification still lent a stream.
// - the tag a plugin gives AcceptTask inside the announcement survives the
//   notification (the routing copies Info.Tag back only when the plugin
//   changed it), so the end notification shows 77 and 78;
// - at the removal notification (type 6) the plugin's stream has already been
//   released and Info.Stream is null.
TEST_F(ExchangeTest, TheAcceptTagSurvivesAndTheRemovalShowsNoStream) {
  constexpr size_t kSize = 5000;
  EXPECT_EQ(alice_.Call("exchange/sendstream", bobAtAlice_->UserID(), kSize), HCPE_ALLRIGHT);
  EXPECT_EQ(alice_.Call("exchange/sendproc", bobAtAlice_->UserID(), kSize), HCPE_ALLRIGHT);
  const std::string digest = std::to_string(PatternDigest(kSize));
  EXPECT_TRUE(Pump([&] {
    return Reported(bob_, "end 1 0 300 5000 " + digest + " 1 77") &&
           Reported(bob_, "end 1 1 300 5000 " + digest + " - 78") &&
           Reported(bob_, "freed 1 0 1") && Reported(alice_, "freed 0 0 1");
  })) << "bob:\n"
      << Report(bob_) << "alice:\n"
      << Report(alice_);
}

}  // namespace
}  // namespace tarnix

// THCHandler, the plugin's handle on the bus: each method reaches the real
// registries, and bad input from a plugin gets the failure value, never a crash.
#include <gtest/gtest.h>

#include <stdexcept>

#include "plugin/api/THCHandler.h"
#include "tests/plugin/PluginFakes.h"
#include "tests/support/LogCapture.h"

namespace tarnix {
namespace {

intptr_t HCCALL Sum(intptr_t wParam, intptr_t lParam) {
  return wParam + lParam;
}
intptr_t HCCALL Throws(intptr_t, intptr_t) {
  throw std::runtime_error("boom");
}

class HandlerTest : public testing::Test {
 protected:
  plugintest::TTestBus bus_;
  HCPtr<IHCHandler> handler_ = THCHandler::Create(bus_.Context());
};

TEST_F(HandlerTest, BusMethodsGoToTheRegistries) {
  test::TLogCapture log;
  const int32_t service = handler_->CreateService("test/sum", &Sum);
  ASSERT_NE(service, 0);
  EXPECT_TRUE(log.Contains("CreateService: test/sum"));
  EXPECT_EQ(handler_->GetService("test/sum"), static_cast<uint32_t>(service));
  EXPECT_EQ(handler_->GetService("test/Sum"), 0u);  // names are case-sensitive
  EXPECT_EQ(handler_->CallService(service, 2, 3), 5);
  // Pointer-sized parameters and results pass unchanged.
  const intptr_t big = intptr_t{1} << 40;
  EXPECT_EQ(handler_->CallService(service, big, 1), big + 1);

  const HCHEvent hook = handler_->HookEvent("test/event", &Sum);
  ASSERT_NE(hook, 0u);
  EXPECT_EQ(handler_->NotifyEvent("test/event", 4, 5), 9);
  EXPECT_EQ(handler_->UnhookEvent(hook), HCPE_ALLRIGHT);
  EXPECT_EQ(handler_->NotifyEvent("test/event", 4, 5), 0);

  EXPECT_EQ(handler_->DeleteService(service), HCPE_ALLRIGHT);
  EXPECT_EQ(handler_->CallService(service, 2, 3), HCPE_NOTIMPLEMENT_ERROR);
}

TEST_F(HandlerTest, BadInputGetsFailureValues) {
  EXPECT_EQ(handler_->CreateService(nullptr, &Sum), 0);
  EXPECT_EQ(handler_->CreateService("test/null", nullptr), 0);
  EXPECT_EQ(handler_->GetService(nullptr), 0u);
  EXPECT_EQ(handler_->HookEvent(nullptr, &Sum), 0u);
  EXPECT_EQ(handler_->HookEvent("test/null", nullptr), 0u);
  EXPECT_EQ(handler_->NotifyEvent(nullptr, 1, 2), HCPE_ALLRIGHT);
  EXPECT_EQ(handler_->CallService(0, 1, 2), HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(handler_->CallService(0xFFFFFFFFu, 1, 2), HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(handler_->DeleteService(12345), HCPE_ALLRIGHT);
  EXPECT_EQ(handler_->UnhookEvent(12345), HCPE_ALLRIGHT);
  EXPECT_TRUE(bus_.ServiceNames().empty());
  EXPECT_TRUE(bus_.EventNames().empty());
}

TEST_F(HandlerTest, AFailingProcedureAnswers100) {
  const int32_t service = handler_->CreateService("test/throws", &Throws);
  EXPECT_EQ(handler_->CallService(service, 0, 0), HCPE_INTERNAL_ERROR);
  handler_->HookEvent("test/throws", &Throws);
  handler_->HookEvent("test/throws", &Sum);  // skipped after the failure
  EXPECT_EQ(handler_->NotifyEvent("test/throws", 1, 1), HCPE_INTERNAL_ERROR);
}

TEST_F(HandlerTest, ViewsAreAbsentUntilTheMemberCoreShowsThemAndSessionsFindNobody) {
  EXPECT_EQ(handler_->Config(), nullptr);
  EXPECT_EQ(handler_->Setting(), nullptr);
  EXPECT_EQ(handler_->MemberList(), nullptr);
  EXPECT_EQ(handler_->OpenSession(nullptr, nullptr, HC_TRUE), 0);
}

TEST_F(HandlerTest, AnswersItsOwnInterfaceAndIUnknownOnly) {
  EXPECT_TRUE(handler_.Query<IHCHandler>());
  EXPECT_TRUE(handler_.Query<IHCUnknown>());
  EXPECT_FALSE(handler_.Query<IHCStream>());
  HCPtr<IHCHandler> copy = handler_;
  EXPECT_EQ(copy.Get(), handler_.Get());
}

}  // namespace
}  // namespace tarnix

// The binary contract of the plugin SDK: result codes agree with the host's,
// identifiers are the published ones, HCBSTR is laid out and converted as
// promised, and the C view has every method in the slot the C++ class has.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/bus/BusResults.h"
#include "plugin/sdk/HCPluginC.h"
#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCMemoryStream.h"

namespace tarnix {
namespace {

TEST(SdkResultCodes, NamesAgreeWithTheHostsForEveryCode) {
  const intptr_t codes[] = {0,         100,      101, 500, static_cast<int32_t>(0x80070057u),
                            -1,        1,        300, -2,  static_cast<int32_t>(0x80004005u),
                            INT32_MAX, INT32_MIN};
  for (intptr_t code : codes) {
    EXPECT_STREQ(::HCPECodeName(code), tarnix::HCPECodeName(code)) << code;
  }
  EXPECT_STREQ(::HCPECodeName(::HCPE_INVALID_ARG), "HCPE_INVALID_ARG");
  EXPECT_EQ(::HCPE_INVALID_ARG, -2147024809);
  // A pointer-sized result whose low 32 bits look like a code is not that code.
  const intptr_t wide = (intptr_t{1} << 40) | 100;
  EXPECT_STREQ(::HCPECodeName(wide), "HCPE_UNDEFINED");
}

std::string GuidText(const HCGUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

TEST(SdkGuids, AreThePublishedIdentifiers) {
  const std::pair<const HCGUID*, const char*> table[] = {
      {&LIBID_tarnix, "ACA435C9-2FD5-4F33-81CD-C926AE1A028C"},
      {&TYPEID_HCHEvent, "2A566434-AA85-4000-82BF-80ACF3CCB534"},
      {&IID_IHCUnknown, "00000000-0000-0000-C000-000000000046"},
      {&IID_IHCHandler, "C6FD6517-DB09-41FE-A611-64672C54C97D"},
      {&IID_IHCPMemberList, "1A1D8070-F7DB-4830-999C-AEC2230796D6"},
      {&IID_IHCPMember, "82735D52-754B-41CE-8667-23B9EFD126B4"},
      {&IID_IHCPTranser, "74D870E3-9156-4779-9B00-E23EAC16EAC9"},
      {&IID_IHCStream, "1BD93B1B-31BA-4F2E-8017-B2765988B5A1"},
      {&IID_IHCPConfig, "829D842E-315E-49DC-BBB4-4E7AA6786B86"},
      {&IID_IHCPSetting, "4AAD34E5-BC45-4401-BB42-92E7CC1ED746"},
      {&CLSID_HCHandler, "D3F06A85-66C7-4891-B3E3-73EB819A6A80"},
      {&CLSID_HCPMemberList, "5B78E159-BF7C-4C42-9ABC-15B2441EFFE7"},
      {&CLSID_HCPMember, "55E4E1BB-3E5C-498B-9246-626077184DF3"},
      {&CLSID_HCPTranser, "C5C5E085-352C-4E76-8E42-1905EFAE5A2F"},
      {&CLSID_HCPConfig, "EE328C2C-BFE7-422C-AB1E-444347E3C81B"},
      {&CLSID_HCPSetting, "1C40B1FD-8605-4A60-AA6E-448666B0B003"},
  };
  for (const auto& [guid, text] : table) EXPECT_EQ(GuidText(*guid), text);
  EXPECT_TRUE(HCIsEqualGUID(&IID_IHCStream, &IHCStream::kIid));
  EXPECT_FALSE(HCIsEqualGUID(&IID_IHCStream, nullptr));
}

TEST(SdkBstr, CarriesItsByteLengthBeforeTheTextAndANulAfterIt) {
  TBstr text = TBstr::FromUtf8("h\xC3\xA9llo \xF0\x9F\x98\x80");  // é and U+1F600
  ASSERT_NE(text.Get(), nullptr);
  EXPECT_EQ(text.Length(), 8u);  // the emoji is a surrogate pair
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const unsigned char*>(text.Get()) - 4, 4);
  EXPECT_EQ(prefix, 16u);
  EXPECT_EQ(text.Get()[8], u'\0');
  EXPECT_EQ(text.View(), std::u16string_view(u"h\u00e9llo \U0001F600"));
  EXPECT_EQ(text.ToUtf8(), "h\xC3\xA9llo \xF0\x9F\x98\x80");
}

TEST(SdkBstr, NullIsTheEmptyString) {
  EXPECT_EQ(HCBstrLength(nullptr), 0u);
  EXPECT_EQ(BstrToUtf8(nullptr), "");
  HCBstrFree(nullptr);
  TBstr empty = TBstr::FromUtf8("");
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_EQ(empty.Length(), 0u);
  TBstr fromNull = TBstr::Adopt(HCBstrFromUtf8(nullptr));
  EXPECT_EQ(fromNull.Length(), 0u);
}

TEST(SdkBstr, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string expected;
  };
  const Case cases[] = {
      {"a\x80"
       "b",
       u"a\uFFFDb"},                                      // stray continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"ab\xE3\x81", u"ab\uFFFD\uFFFD"},                  // truncated at the end
  };
  for (const Case& c : cases) {
    TBstr text = TBstr::FromUtf8(c.utf8);
    EXPECT_EQ(text.View(), c.expected) << c.utf8;
  }
  // An unpaired surrogate in UTF-16 comes out as U+FFFD.
  const char16_t lone[] = {u'x', 0xD800, u'y'};
  TBstr surrogate = TBstr::FromUtf16(std::u16string_view(lone, 3));
  EXPECT_EQ(surrogate.ToUtf8(), "x\xEF\xBF\xBDy");
}

TEST(SdkBstr, ConversionIntoABufferNeverSplitsACharacter) {
  TBstr text = TBstr::FromUtf8("ab\xE3\x81\x82");  // "ab" + one 3-byte character
  char buffer[8];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(HCBstrToUtf8(text.Get(), buffer, 4), 5u);  // answers the full need
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(HCBstrToUtf8(text.Get(), buffer, 6), 5u);
  EXPECT_STREQ(buffer, "ab\xE3\x81\x82");
  EXPECT_EQ(HCBstrToUtf8(text.Get(), nullptr, 0), 5u);
}

// The slot of a virtual method from its pointer-to-member (Itanium C++ ABI:
// 1 + the byte offset in the vtable).
template <class Method>
size_t SlotOf(Method method) {
  struct {
    uintptr_t ptr;
    ptrdiff_t adjust;
  } raw;
  static_assert(sizeof(raw) == sizeof(method));
  std::memcpy(&raw, &method, sizeof raw);
  return (raw.ptr - 1) / sizeof(void*);
}

#define EXPECT_SLOT(Interface, Method, expected)                                          \
  do {                                                                                    \
    EXPECT_EQ(SlotOf(&::Interface::Method), size_t{expected}) << #Interface "::" #Method; \
    EXPECT_EQ(offsetof(cview::Interface##Vtbl, Method) / sizeof(void*), size_t{expected}) \
        << "C view " #Interface "::" #Method;                                             \
  } while (0)

TEST(SdkCView, EveryMethodSitsInTheSameSlotInCAndCpp) {
  EXPECT_SLOT(IHCHandler, QueryInterface, 0);
  EXPECT_SLOT(IHCHandler, AddRef, 1);
  EXPECT_SLOT(IHCHandler, Release, 2);
  EXPECT_SLOT(IHCHandler, CreateService, 3);
  EXPECT_SLOT(IHCHandler, GetService, 4);
  EXPECT_SLOT(IHCHandler, CallService, 5);
  EXPECT_SLOT(IHCHandler, DeleteService, 6);
  EXPECT_SLOT(IHCHandler, HookEvent, 7);
  EXPECT_SLOT(IHCHandler, NotifyEvent, 8);
  EXPECT_SLOT(IHCHandler, UnhookEvent, 9);
  EXPECT_SLOT(IHCHandler, Config, 10);
  EXPECT_SLOT(IHCHandler, Setting, 11);
  EXPECT_SLOT(IHCHandler, MemberList, 12);
  EXPECT_SLOT(IHCHandler, OpenSession, 13);

  EXPECT_SLOT(IHCPMemberList, IndexOf, 3);
  EXPECT_SLOT(IHCPMemberList, Members, 4);
  EXPECT_SLOT(IHCPMemberList, Count, 5);
  EXPECT_SLOT(IHCPMemberList, Add, 6);
  EXPECT_SLOT(IHCPMemberList, Delete, 7);

  EXPECT_SLOT(IHCPMember, Transer, 3);
  EXPECT_SLOT(IHCPMember, Connected, 4);
  EXPECT_SLOT(IHCPMember, name, 5);
  EXPECT_SLOT(IHCPMember, UserID, 6);
  EXPECT_SLOT(IHCPMember, DisplayName, 7);
  EXPECT_SLOT(IHCPMember, put_DisplayName, 8);
  EXPECT_SLOT(IHCPMember, State, 9);
  EXPECT_SLOT(IHCPMember, put_State, 10);
  EXPECT_SLOT(IHCPMember, Address, 11);
  EXPECT_SLOT(IHCPMember, port, 12);
  EXPECT_SLOT(IHCPMember, IsAnonymous, 13);
  EXPECT_SLOT(IHCPMember, Connect, 14);
  EXPECT_SLOT(IHCPMember, GetBubbyIcon, 15);

  EXPECT_SLOT(IHCPTranser, NewTask, 3);
  EXPECT_SLOT(IHCPTranser, AcceptTask, 4);
  EXPECT_SLOT(IHCPTranser, DenyTask, 5);
  EXPECT_SLOT(IHCPTranser, AbortTask, 6);
  EXPECT_SLOT(IHCPTranser, SuspendTask, 7);
  EXPECT_SLOT(IHCPTranser, ResumeTask, 8);
  EXPECT_SLOT(IHCPTranser, GetTask, 9);
  EXPECT_SLOT(IHCPTranser, TaskCount, 10);
  EXPECT_SLOT(IHCPTranser, GetSenderTasks, 11);
  EXPECT_SLOT(IHCPTranser, GetReceiverTasks, 12);
  EXPECT_SLOT(IHCPTranser, Lock, 13);
  EXPECT_SLOT(IHCPTranser, Unlock, 14);
  EXPECT_SLOT(IHCPTranser, ConnectingTime, 15);
  EXPECT_SLOT(IHCPTranser, PingTime, 16);

  EXPECT_SLOT(IHCStream, Read, 3);
  EXPECT_SLOT(IHCStream, Write, 4);
  EXPECT_SLOT(IHCStream, Seek, 5);
  EXPECT_SLOT(IHCStream, handle, 6);

  EXPECT_SLOT(IHCPConfig, name, 3);
  EXPECT_SLOT(IHCPConfig, put_name, 4);
  EXPECT_SLOT(IHCPConfig, put_DisplayName, 5);
  EXPECT_SLOT(IHCPConfig, DisplayName, 6);
  EXPECT_SLOT(IHCPConfig, Logined, 7);
  EXPECT_SLOT(IHCPConfig, IPAddress, 8);
  EXPECT_SLOT(IHCPConfig, port, 9);
  EXPECT_SLOT(IHCPConfig, ServiceURL, 10);
  EXPECT_SLOT(IHCPConfig, BubbyIcon, 11);
  EXPECT_SLOT(IHCPConfig, State, 12);
  EXPECT_SLOT(IHCPConfig, put_State, 13);
  EXPECT_SLOT(IHCPConfig, StrangerIcon, 14);
  EXPECT_SLOT(IHCPConfig, BufferSize, 15);

  EXPECT_SLOT(IHCPSetting, SetSetting, 3);
  EXPECT_SLOT(IHCPSetting, GetSetting, 4);
  EXPECT_SLOT(IHCPSetting, Language, 5);
  EXPECT_SLOT(IHCPSetting, MaxSendCount, 6);
}

TEST(SdkCView, CCallsReachTheCppObject) {
  HCPtr<IHCStream> stream = THCMemoryStream::Create();
  auto* c = reinterpret_cast<cview::IHCStream*>(stream.Get());
  EXPECT_EQ(c->lpVtbl->Write(c, "abcdef", 6), 6u);
  EXPECT_EQ(c->lpVtbl->Seek(c, -4, 2), 2);
  char buffer[8] = {};
  EXPECT_EQ(c->lpVtbl->Read(c, buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "cdef");
  EXPECT_EQ(c->lpVtbl->handle(c), stream->handle());

  void* asUnknown = nullptr;
  EXPECT_EQ(c->lpVtbl->QueryInterface(c, &IID_IHCUnknown, &asUnknown), HCPE_ALLRIGHT);
  EXPECT_EQ(asUnknown, stream.Get());
  EXPECT_EQ(c->lpVtbl->Release(c), 1u);  // the reference QueryInterface added
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(c->lpVtbl->QueryInterface(c, &IID_IHCHandler, &other), HC_E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(c->lpVtbl->QueryInterface(c, &IID_IHCStream, nullptr), HC_E_POINTER);
}

TEST(SdkMemoryStream, KeepsWithinItsLimitAndSeeksSafely) {
  HCPtr<IHCStream> stream = THCMemoryStream::Create(4);
  EXPECT_EQ(stream->Write("abcdef", 6), 4u);  // cut at the limit
  EXPECT_EQ(stream->Write("g", 1), 0u);
  EXPECT_EQ(stream->Seek(-100, 1), 0);  // clamped at the start
  EXPECT_EQ(stream->Seek(INT64_MAX, 1), INT64_MAX);
  char byte;
  EXPECT_EQ(stream->Read(&byte, 1), 0u);  // beyond the end reads nothing
  EXPECT_EQ(stream->Write("h", 1), 0u);
  EXPECT_EQ(stream->Seek(0, 2), 4);
  EXPECT_EQ(stream->Seek(1, 7), 4);  // an unknown origin does not move
}

}  // namespace
}  // namespace tarnix

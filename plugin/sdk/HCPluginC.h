#ifndef TARNIX_PLUGIN_SDK_HCPLUGINC_H
#define TARNIX_PLUGIN_SDK_HCPLUGINC_H
/* The C view of the plugin interfaces: each interface is a struct whose only
 * field points to a table of function pointers laid out exactly as the C++
 * vtable of HCInterfaces.h (slot 0 QueryInterface, 1 AddRef, 2 Release, then
 * the methods in order). Every function takes the object pointer first. A plain
 * C plugin calls host objects as  obj->lpVtbl->Method(obj, ...)  and can
 * implement its own objects (an IHCStream, say) by filling such a table.
 *
 * Slot offsets in the table are slot * sizeof(void*): 4 bytes per slot on
 * 32-bit, 8 on 64-bit. Results that the C++ form returns as HCBSTR or as an
 * interface come back as the function result here too (a new string the caller
 * frees, a new reference the caller releases).
 *
 * In C the names are global (IHCHandler, IHCHandlerVtbl, ...); when the header
 * is compiled as C++ (to check the layout against the C++ classes) the same
 * structs live in namespace tarnix::cview. */
#include "plugin/sdk/HCBstr.h"
#include "plugin/sdk/HCGuid.h"
#include "plugin/sdk/HCPluginTypes.h"
#include "plugin/sdk/HCRecords.h"

#ifdef __cplusplus
namespace tarnix::cview {
#endif

/* Declared first so that, in C++, the names below are these structs and not
 * the C++ classes of the global namespace. */
struct IHCUnknown;
struct IHCHandler;
struct IHCPMemberList;
struct IHCPMember;
struct IHCPTranser;
struct IHCStream;
struct IHCPConfig;
struct IHCPSetting;

#if defined(__cplusplus) || !defined(HC_DECLARED_IHCHandler)
typedef struct IHCHandler IHCHandler;
#endif
#if defined(__cplusplus) || !defined(HC_DECLARED_IHCPMember)
typedef struct IHCPMember IHCPMember;
#endif
#if defined(__cplusplus) || !defined(HC_DECLARED_IHCStream)
typedef struct IHCStream IHCStream;
#endif
#ifndef __cplusplus
#define HC_DECLARED_IHCHandler
#define HC_DECLARED_IHCPMember
#define HC_DECLARED_IHCStream
#endif
typedef struct IHCPMemberList IHCPMemberList;
typedef struct IHCPTranser IHCPTranser;
typedef struct IHCPConfig IHCPConfig;
typedef struct IHCPSetting IHCPSetting;

/* The tables are laid out by hand, one slot per line. */
/* clang-format off */

/* The three IHCUnknown slots at the head of every table. */
#define HC_CVIEW_UNKNOWN_SLOTS(Self)                                                   \
  /* 0 */ HCRESULT (HCCALL* QueryInterface)(Self* self, const HCGUID* iid, void** object); \
  /* 1 */ uint32_t (HCCALL* AddRef)(Self* self);                                       \
  /* 2 */ uint32_t (HCCALL* Release)(Self* self)

/* Any interface seen only as IHCUnknown. */
typedef struct IHCUnknown IHCUnknown;
typedef struct IHCUnknownVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCUnknown);
} IHCUnknownVtbl;
struct IHCUnknown {
  const IHCUnknownVtbl* lpVtbl;
};

typedef struct IHCHandlerVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCHandler);
  /* 3 */  int32_t (HCCALL* CreateService)(IHCHandler* self, const char* name, HCProc proc);
  /* 4 */  uint32_t (HCCALL* GetService)(IHCHandler* self, const char* name);
  /* 5 */  intptr_t (HCCALL* CallService)(IHCHandler* self, uint32_t service, intptr_t wParam,
                                          intptr_t lParam);
  /* 6 */  HCRESULT (HCCALL* DeleteService)(IHCHandler* self, uint32_t service);
  /* 7 */  HCHEvent (HCCALL* HookEvent)(IHCHandler* self, const char* name, HCProc proc);
  /* 8 */  intptr_t (HCCALL* NotifyEvent)(IHCHandler* self, const char* name, intptr_t wParam,
                                          intptr_t lParam);
  /* 9 */  HCRESULT (HCCALL* UnhookEvent)(IHCHandler* self, HCHEvent handle);
  /* 10 */ IHCPConfig* (HCCALL* Config)(IHCHandler* self);
  /* 11 */ IHCPSetting* (HCCALL* Setting)(IHCHandler* self);
  /* 12 */ IHCPMemberList* (HCCALL* MemberList)(IHCHandler* self);
  /* 13 */ HCRESULT (HCCALL* OpenSession)(IHCHandler* self, HCBSTR mySessionName,
                                          HCBSTR partnerSessionName, HCBOOL inviter);
} IHCHandlerVtbl;
struct IHCHandler {
  const IHCHandlerVtbl* lpVtbl;
};

typedef struct IHCPMemberListVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCPMemberList);
  /* 3 */ int32_t (HCCALL* IndexOf)(IHCPMemberList* self, int32_t userID);
  /* 4 */ IHCPMember* (HCCALL* Members)(IHCPMemberList* self, int32_t index);
  /* 5 */ int32_t (HCCALL* Count)(IHCPMemberList* self);
  /* 6 */ IHCPMember* (HCCALL* Add)(IHCPMemberList* self, HCBSTR user, HCBSTR addr, int32_t port);
  /* 7 */ HCRESULT (HCCALL* Delete)(IHCPMemberList* self, int32_t index);
} IHCPMemberListVtbl;
struct IHCPMemberList {
  const IHCPMemberListVtbl* lpVtbl;
};

typedef struct IHCPMemberVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCPMember);
  /* 3 */  IHCPTranser* (HCCALL* Transer)(IHCPMember* self);
  /* 4 */  HCBOOL (HCCALL* Connected)(IHCPMember* self);
  /* 5 */  HCBSTR (HCCALL* name)(IHCPMember* self);
  /* 6 */  int32_t (HCCALL* UserID)(IHCPMember* self);
  /* 7 */  HCBSTR (HCCALL* DisplayName)(IHCPMember* self);
  /* 8 */  void (HCCALL* put_DisplayName)(IHCPMember* self, HCBSTR value);
  /* 9 */  int32_t (HCCALL* State)(IHCPMember* self);
  /* 10 */ void (HCCALL* put_State)(IHCPMember* self, int32_t value);
  /* 11 */ HCBSTR (HCCALL* Address)(IHCPMember* self);
  /* 12 */ int32_t (HCCALL* port)(IHCPMember* self);
  /* 13 */ HCBOOL (HCCALL* IsAnonymous)(IHCPMember* self);
  /* 14 */ void (HCCALL* Connect)(IHCPMember* self);
  /* 15 */ HCBSTR (HCCALL* GetBubbyIcon)(IHCPMember* self);
} IHCPMemberVtbl;
struct IHCPMember {
  const IHCPMemberVtbl* lpVtbl;
};

typedef struct IHCStreamVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCStream);
  /* 3 */ uint32_t (HCCALL* Read)(IHCStream* self, void* buffer, uint32_t size);
  /* 4 */ uint32_t (HCCALL* Write)(IHCStream* self, const void* buffer, uint32_t size);
  /* 5 */ int64_t (HCCALL* Seek)(IHCStream* self, int64_t offset, int32_t origin);
  /* 6 */ intptr_t (HCCALL* handle)(IHCStream* self);
} IHCStreamVtbl;
struct IHCStream {
  const IHCStreamVtbl* lpVtbl;
};

typedef struct IHCPTranserVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCPTranser);
  /* 3 */  HCRESULT (HCCALL* NewTask)(IHCPTranser* self, HCBSTR taskName, IHCStream* stream,
                                      uint32_t tag, HCBSTR initialInfo, int32_t packetType,
                                      int32_t bufferType, void* bufferProc, int64_t* taskUID);
  /* 4 */  HCRESULT (HCCALL* AcceptTask)(IHCPTranser* self, int64_t taskUID, IHCStream* dest,
                                         uint32_t tag);
  /* 5 */  HCRESULT (HCCALL* DenyTask)(IHCPTranser* self, int64_t taskUID);
  /* 6 */  HCRESULT (HCCALL* AbortTask)(IHCPTranser* self, int64_t taskUID);
  /* 7 */  HCRESULT (HCCALL* SuspendTask)(IHCPTranser* self, int64_t taskUID);
  /* 8 */  HCRESULT (HCCALL* ResumeTask)(IHCPTranser* self, int64_t taskUID);
  /* 9 */  HCRESULT (HCCALL* GetTask)(IHCPTranser* self, int64_t taskUID, void* info);
  /* 10 */ int32_t (HCCALL* TaskCount)(IHCPTranser* self);
  /* 11 */ int32_t (HCCALL* GetSenderTasks)(IHCPTranser* self);
  /* 12 */ int32_t (HCCALL* GetReceiverTasks)(IHCPTranser* self);
  /* 13 */ void (HCCALL* Lock)(IHCPTranser* self);
  /* 14 */ void (HCCALL* Unlock)(IHCPTranser* self);
  /* 15 */ uint32_t (HCCALL* ConnectingTime)(IHCPTranser* self);
  /* 16 */ uint32_t (HCCALL* PingTime)(IHCPTranser* self);
} IHCPTranserVtbl;
struct IHCPTranser {
  const IHCPTranserVtbl* lpVtbl;
};

typedef struct IHCPConfigVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCPConfig);
  /* 3 */  HCBSTR (HCCALL* name)(IHCPConfig* self);
  /* 4 */  void (HCCALL* put_name)(IHCPConfig* self, HCBSTR value);
  /* 5 */  void (HCCALL* put_DisplayName)(IHCPConfig* self, HCBSTR value);
  /* 6 */  HCBSTR (HCCALL* DisplayName)(IHCPConfig* self);
  /* 7 */  HCBOOL (HCCALL* Logined)(IHCPConfig* self);
  /* 8 */  HCBSTR (HCCALL* IPAddress)(IHCPConfig* self);
  /* 9 */  int32_t (HCCALL* port)(IHCPConfig* self);
  /* 10 */ HCBSTR (HCCALL* ServiceURL)(IHCPConfig* self);
  /* 11 */ HCBSTR (HCCALL* BubbyIcon)(IHCPConfig* self);
  /* 12 */ int32_t (HCCALL* State)(IHCPConfig* self);
  /* 13 */ void (HCCALL* put_State)(IHCPConfig* self, int32_t value);
  /* 14 */ HCBSTR (HCCALL* StrangerIcon)(IHCPConfig* self);
  /* 15 */ int32_t (HCCALL* BufferSize)(IHCPConfig* self);
} IHCPConfigVtbl;
struct IHCPConfig {
  const IHCPConfigVtbl* lpVtbl;
};

typedef struct IHCPSettingVtbl {
  HC_CVIEW_UNKNOWN_SLOTS(IHCPSetting);
  /* 3 */ HCRESULT (HCCALL* SetSetting)(IHCPSetting* self, const char* moduleName, HCBSTR xml);
  /* 4 */ HCBSTR (HCCALL* GetSetting)(IHCPSetting* self, const char* moduleName);
  /* 5 */ HCBSTR (HCCALL* Language)(IHCPSetting* self);
  /* 6 */ int32_t (HCCALL* MaxSendCount)(IHCPSetting* self);
} IHCPSettingVtbl;
struct IHCPSetting {
  const IHCPSettingVtbl* lpVtbl;
};

/* clang-format on */

/* Slot counts, for checks and for plugins that build tables. */
enum {
  HC_SLOTS_IHCUnknown = 3,
  HC_SLOTS_IHCHandler = 14,
  HC_SLOTS_IHCPMemberList = 8,
  HC_SLOTS_IHCPMember = 16,
  HC_SLOTS_IHCStream = 7,
  HC_SLOTS_IHCPTranser = 17,
  HC_SLOTS_IHCPConfig = 16,
  HC_SLOTS_IHCPSetting = 7
};
HC_STATIC_ASSERT(sizeof(IHCHandlerVtbl) == HC_SLOTS_IHCHandler * sizeof(void*), "IHCHandler slots");
HC_STATIC_ASSERT(sizeof(IHCPMemberListVtbl) == HC_SLOTS_IHCPMemberList * sizeof(void*),
                 "IHCPMemberList slots");
HC_STATIC_ASSERT(sizeof(IHCPMemberVtbl) == HC_SLOTS_IHCPMember * sizeof(void*), "IHCPMember slots");
HC_STATIC_ASSERT(sizeof(IHCStreamVtbl) == HC_SLOTS_IHCStream * sizeof(void*), "IHCStream slots");
HC_STATIC_ASSERT(sizeof(IHCPTranserVtbl) == HC_SLOTS_IHCPTranser * sizeof(void*),
                 "IHCPTranser slots");
HC_STATIC_ASSERT(sizeof(IHCPConfigVtbl) == HC_SLOTS_IHCPConfig * sizeof(void*), "IHCPConfig slots");
HC_STATIC_ASSERT(sizeof(IHCPSettingVtbl) == HC_SLOTS_IHCPSetting * sizeof(void*),
                 "IHCPSetting slots");

#ifdef __cplusplus
}  // namespace tarnix::cview
#endif

#endif /* TARNIX_PLUGIN_SDK_HCPLUGINC_H */

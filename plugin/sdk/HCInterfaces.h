#pragma once
// The seven interfaces through which a plugin reaches the host, as C++ abstract
// classes whose vtables are the binary contract: the object pointer points to a
// pointer to the method table; slots 0-2 are QueryInterface, AddRef, Release,
// the methods follow from slot 3 in the order declared here. There are no data
// members and no virtual destructor (an object dies at its last Release), so a
// plain C plugin can call and implement them through HCPluginC.h.
//
// Rules for every method:
// - Arguments stay owned by the caller; a callee that keeps an interface takes
//   its own reference.
// - A method returning HCBSTR returns a new string the caller frees
//   (HCBstrFree / tarnix::TBstr); one returning an interface returns a new
//   reference the caller releases (tarnix::HCPtr). Every getter builds a new
//   object, so interface pointers are never compared for identity.
// - No exception crosses an interface: failure comes back as the method's
//   failure value (null, HCPE_INTERNAL_ERROR, HCPE_INVALID_ARG, -1 or 100).
// - Property put methods are named put_<Property>.
#include "plugin/sdk/HCBstr.h"
#include "plugin/sdk/HCGuid.h"
#include "plugin/sdk/HCPluginTypes.h"
#include "plugin/sdk/HCRecords.h"

#ifndef __cplusplus
#error "HCInterfaces.h is the C++ form of the interfaces; C plugins include HCPluginC.h"
#endif

class IHCPConfig;
class IHCPSetting;
class IHCPMemberList;
class IHCPTranser;

class IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCUnknown;
  // slot 0: answers IID_IHCUnknown and the object's own interface identifier,
  // with a new reference in *object; otherwise HC_E_NOINTERFACE and null.
  virtual HCRESULT HCCALL QueryInterface(const HCGUID& iid, void** object) = 0;
  virtual uint32_t HCCALL AddRef() = 0;   // slot 1: the new count
  virtual uint32_t HCCALL Release() = 0;  // slot 2: the new count; 0 destroyed the object

 protected:
  ~IHCUnknown() = default;
};

// The plugin's handle on the host; one per plugin, passed to Initialize.
class IHCHandler : public IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCHandler;
  // slot 3: registers a service; its handle, never 0.
  virtual int32_t HCCALL CreateService(const char* name, HCProc proc) = 0;
  // slot 4: the first service registered under exactly this name, 0 if none.
  virtual uint32_t HCCALL GetService(const char* name) = 0;
  // slot 5: the procedure's result; -1 for a handle that is not registered, 100
  // when the procedure failed.
  virtual intptr_t HCCALL CallService(uint32_t service, intptr_t wParam, intptr_t lParam) = 0;
  // slot 6: always 0; unknown handles are ignored.
  virtual HCRESULT HCCALL DeleteService(uint32_t service) = 0;
  // slot 7: hooks an event; the hook's handle.
  virtual HCHEvent HCCALL HookEvent(const char* name, HCProc proc) = 0;
  // slot 8: calls every hook of the event in registration order; the result of
  // the last one, 0 when none; 100 when one failed (the rest are skipped).
  virtual intptr_t HCCALL NotifyEvent(const char* name, intptr_t wParam, intptr_t lParam) = 0;
  // slot 9: always 0.
  virtual HCRESULT HCCALL UnhookEvent(HCHEvent handle) = 0;
  virtual IHCPConfig* HCCALL Config() = 0;          // slot 10
  virtual IHCPSetting* HCCALL Setting() = 0;        // slot 11
  virtual IHCPMemberList* HCCALL MemberList() = 0;  // slot 12
  // slot 13: 1 when the partner was found and is now a member, otherwise 0.
  virtual HCRESULT HCCALL OpenSession(HCBSTR mySessionName, HCBSTR partnerSessionName,
                                      HCBOOL inviter) = 0;

 protected:
  ~IHCHandler() = default;
};

class IHCPMemberList : public IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCPMemberList;
  virtual int32_t HCCALL IndexOf(int32_t userID) = 0;     // slot 3: position or -1
  virtual IHCPMember* HCCALL Members(int32_t index) = 0;  // slot 4: null outside the list
  virtual int32_t HCCALL Count() = 0;                     // slot 5
  // slot 6: the new member, null if it could not be set up.
  virtual IHCPMember* HCCALL Add(HCBSTR user, HCBSTR addr, int32_t port) = 0;
  virtual HCRESULT HCCALL Delete(int32_t index) = 0;  // slot 7: 0

 protected:
  ~IHCPMemberList() = default;
};

class IHCPMember : public IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCPMember;
  // slot 3: the connection's task interface, null unless connected and authenticated.
  virtual IHCPTranser* HCCALL Transer() = 0;
  virtual HCBOOL HCCALL Connected() = 0;                  // slot 4
  virtual HCBSTR HCCALL name() = 0;                       // slot 5: account name
  virtual int32_t HCCALL UserID() = 0;                    // slot 6: valid for one run
  virtual HCBSTR HCCALL DisplayName() = 0;                // slot 7
  virtual void HCCALL put_DisplayName(HCBSTR value) = 0;  // slot 8
  virtual int32_t HCCALL State() = 0;                     // slot 9: presence state
  virtual void HCCALL put_State(int32_t value) = 0;       // slot 10
  virtual HCBSTR HCCALL Address() = 0;                    // slot 11
  virtual int32_t HCCALL port() = 0;                      // slot 12
  virtual HCBOOL HCCALL IsAnonymous() = 0;                // slot 13
  virtual void HCCALL Connect() = 0;                      // slot 14
  virtual HCBSTR HCCALL GetBubbyIcon() = 0;               // slot 15: path of the icon file

 protected:
  ~IHCPMember() = default;
};

// A byte stream either side can implement.
class IHCStream : public IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCStream;
  virtual uint32_t HCCALL Read(void* buffer, uint32_t size) = 0;         // slot 3: bytes read
  virtual uint32_t HCCALL Write(const void* buffer, uint32_t size) = 0;  // slot 4: bytes written
  // slot 5: origin 0 from the start, 1 from the current position, 2 from the
  // end; the new position.
  virtual int64_t HCCALL Seek(int64_t offset, int32_t origin) = 0;
  // slot 6: an opaque value identifying the underlying stream object
  // (pointer-sized, since it may be the object's address).
  virtual intptr_t HCCALL handle() = 0;

 protected:
  ~IHCStream() = default;
};

// The task interface of one connection.
class IHCPTranser : public IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCPTranser;
  // slot 3: HCPE_ALLRIGHT with the new task's identifier in *taskUID, or
  // HCPE_INTERNAL_ERROR (and 0) when the connection cannot take tasks.
  virtual HCRESULT HCCALL NewTask(HCBSTR taskName, IHCStream* stream, uint32_t tag,
                                  HCBSTR initialInfo, int32_t packetType, int32_t bufferType,
                                  void* bufferProc, int64_t* taskUID) = 0;
  // slot 4: HCPE_ALLRIGHT or HCPE_FAILED.
  virtual HCRESULT HCCALL AcceptTask(int64_t taskUID, IHCStream* dest, uint32_t tag = 0) = 0;
  // slots 5-8: HCPE_ALLRIGHT or HCPE_INVALID_ARG.
  virtual HCRESULT HCCALL DenyTask(int64_t taskUID) = 0;
  virtual HCRESULT HCCALL AbortTask(int64_t taskUID) = 0;
  virtual HCRESULT HCCALL SuspendTask(int64_t taskUID) = 0;
  virtual HCRESULT HCCALL ResumeTask(int64_t taskUID) = 0;
  // slot 9: with a null info the byte count the buffer needs (HCTaskCopySize);
  // otherwise the record followed by the name and the initial information, with
  // TaskName and InitialInfo pointing into the buffer: HCPE_ALLRIGHT or
  // HCPE_INTERNAL_ERROR. HCPE_INVALID_ARG when no task has this identifier.
  virtual HCRESULT HCCALL GetTask(int64_t taskUID, void* info) = 0;
  virtual int32_t HCCALL TaskCount() = 0;         // slot 10
  virtual int32_t HCCALL GetSenderTasks() = 0;    // slot 11: tasks with Direction 0
  virtual int32_t HCCALL GetReceiverTasks() = 0;  // slot 12: tasks with Direction 1
  // slots 13-14: the connection's re-entrant task-list lock; every Lock needs
  // its Unlock on the same thread.
  virtual void HCCALL Lock() = 0;
  virtual void HCCALL Unlock() = 0;
  virtual uint32_t HCCALL ConnectingTime() = 0;  // slot 15: ms since the connection was made
  virtual uint32_t HCCALL PingTime() = 0;        // slot 16: last response time in ms

 protected:
  ~IHCPTranser() = default;
};

// The user's own account and profile. DisplayName's put stands before its get.
class IHCPConfig : public IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCPConfig;
  virtual HCBSTR HCCALL name() = 0;                       // slot 3
  virtual void HCCALL put_name(HCBSTR value) = 0;         // slot 4
  virtual void HCCALL put_DisplayName(HCBSTR value) = 0;  // slot 5
  virtual HCBSTR HCCALL DisplayName() = 0;                // slot 6
  virtual HCBOOL HCCALL Logined() = 0;                    // slot 7
  virtual HCBSTR HCCALL IPAddress() = 0;                  // slot 8
  virtual int32_t HCCALL port() = 0;                      // slot 9
  virtual HCBSTR HCCALL ServiceURL() = 0;                 // slot 10
  virtual HCBSTR HCCALL BubbyIcon() = 0;                  // slot 11
  virtual int32_t HCCALL State() = 0;                     // slot 12
  virtual void HCCALL put_State(int32_t value) = 0;       // slot 13
  virtual HCBSTR HCCALL StrangerIcon() = 0;               // slot 14
  virtual int32_t HCCALL BufferSize() = 0;                // slot 15

 protected:
  ~IHCPConfig() = default;
};

// Settings storage for plugins: one element per module name.
class IHCPSetting : public IHCUnknown {
 public:
  static constexpr const HCGUID& kIid = IID_IHCPSetting;
  // slot 3: HCPE_ALLRIGHT or HCPE_INTERNAL_ERROR.
  virtual HCRESULT HCCALL SetSetting(const char* moduleName, HCBSTR xml) = 0;
  virtual HCBSTR HCCALL GetSetting(const char* moduleName) = 0;  // slot 4: element as XML text
  virtual HCBSTR HCCALL Language() = 0;                          // slot 5
  virtual int32_t HCCALL MaxSendCount() = 0;                     // slot 6

 protected:
  ~IHCPSetting() = default;
};

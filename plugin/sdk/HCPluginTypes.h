#ifndef TARNIX_PLUGIN_SDK_HCPLUGINTYPES_H
#define TARNIX_PLUGIN_SDK_HCPLUGINTYPES_H
/* Basic types of the plugin contract, shared by C and C++ plugins and by the
 * host: the calling convention, the integer widths, the procedure type of
 * services and hooks, the result codes and their names, the information-string
 * indexes and the task codes a plugin sees.
 *
 * The contract is a C binary interface, so everything here lives in the global
 * namespace and compiles as C99 and as C++. Nothing of the host is included. */
#include <stddef.h>
#include <stdint.h>

/* Calling convention of exports, interface methods and procedures: the
 * platform's C convention here; stdcall on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define HCCALL __stdcall
#else
#define HCCALL
#endif

/* Marks the three exports of a plugin library; everything else in a plugin is
 * built with hidden visibility. */
#if defined(_WIN32)
#define HC_PLUGIN_EXPORT __declspec(dllexport)
#else
#define HC_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define HC_EXTERN_C extern "C"
#define HC_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define HC_EXTERN_C
#define HC_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif

/* Result of exports and most interface methods (an HCPE code). */
typedef int32_t HCRESULT;
/* Truth value: 0 false, -1 true; the host reads only the low 16 bits. */
typedef int32_t HCBOOL;
#define HC_TRUE ((HCBOOL)-1)
#define HC_FALSE ((HCBOOL)0)
/* Handle of one event hook. */
typedef uint32_t HCHEvent;
/* Handle of one service. */
typedef uint32_t HCService;

/* A service or hook procedure. wParam, lParam and the result are
 * pointer-sized so that pointers travel in them unchanged; the meaning is fixed
 * per service or event name. A procedure reports failure through its result and
 * never lets an exception out. */
typedef intptr_t(HCCALL* HCProc)(intptr_t wParam, intptr_t lParam);

/* The data routine of a btProc task, given to IHCPTranser::NewTask as its
 * BufferProc: fills at most `capacity` bytes of `buffer` with the task's next
 * data and answers how many it wrote; 0 ends the task (a value below 0 or above
 * capacity counts as 0). Called on the connection thread, under the
 * connection's task-list lock. */
typedef int32_t(HCCALL* HCBufferProc)(int64_t taskUID, void* buffer, int32_t capacity);

/* Result codes. In C++ they are typed constants; in C enumerators. */
#ifdef __cplusplus
inline constexpr int32_t HCPE_ALLRIGHT = 0;
inline constexpr int32_t HCPE_INTERNAL_ERROR = 100;
inline constexpr int32_t HCPE_FAILED = 101;
inline constexpr int32_t HCPE_UNINITIALIZED_ERROR = 500;
inline constexpr int32_t HCPE_INVALID_ARG = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t HCPE_NOTIMPLEMENT_ERROR = -1;
/* Standard values some host services answer. */
inline constexpr int32_t HC_E_FAIL = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t HC_E_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu);
inline constexpr int32_t HC_E_HANDLE = static_cast<int32_t>(0x80070006u);
inline constexpr int32_t HC_E_NOINTERFACE = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t HC_E_POINTER = static_cast<int32_t>(0x80004003u);
#else
enum {
  HCPE_ALLRIGHT = 0,
  HCPE_INTERNAL_ERROR = 100,
  HCPE_FAILED = 101,
  HCPE_UNINITIALIZED_ERROR = 500,
  HCPE_INVALID_ARG = -2147024809, /* 0x80070057 */
  HCPE_NOTIMPLEMENT_ERROR = -1,
  HC_E_FAIL = -2147467259,        /* 0x80004005 */
  HC_E_UNEXPECTED = -2147418113,  /* 0x8000FFFF */
  HC_E_HANDLE = -2147024890,      /* 0x80070006 */
  HC_E_NOINTERFACE = -2147467262, /* 0x80004002 */
  HC_E_POINTER = -2147467261      /* 0x80004003 */
};
#endif

/* The name of a result code for log lines; any other value, including one that
 * does not fit 32 bits, is "HCPE_UNDEFINED". */
static inline const char* HCPECodeName(intptr_t code) {
  if (code == HCPE_ALLRIGHT) return "HCPE_ALLRIGHT";
  if (code == HCPE_INTERNAL_ERROR) return "HCPE_INTERNAL_ERROR";
  if (code == HCPE_FAILED) return "HCPE_FAILED";
  if (code == HCPE_UNINITIALIZED_ERROR) return "HCPE_UNINITIALIZED_ERROR";
  if (code == HCPE_INVALID_ARG) return "HCPE_INVALID_ARG";
  if (code == HCPE_NOTIMPLEMENT_ERROR) return "HCPE_NOTIMPLEMENT_ERROR";
  return "HCPE_UNDEFINED";
}

/* The interface version a plugin reports as information string 0; the host
 * loads a library only when it is exactly this text. */
#define HC_INTERFACE_VERSION "0.4"

/* Indexes of the seven information strings fetched through GetPluginInfo. */
enum {
  HCPI_INTERFACE_VERSION = 0,
  HCPI_NAME = 1,
  HCPI_CAPTION = 2,
  HCPI_DESCRIPTION = 3,
  HCPI_AUTHOR = 4,
  HCPI_COPYRIGHT = 5,
  HCPI_VERSION = 6,
  HCPI_COUNT = 7
};
/* The host reads each information string into a buffer of this many bytes. */
#define HC_PLUGIN_INFO_BUFFER_SIZE 256

/* wParam of the task-notification service "transer/tasknotify/" + task name. */
enum {
  HCTN_ANNOUNCED = 0, /* the local side announced an outgoing task */
  HCTN_ARRIVED = 1,   /* the peer announced a task: accept, deny or leave it waiting */
  HCTN_FINISHED = 2,  /* the task ended; Info->Result says how */
  HCTN_PROGRESS = 3,  /* a new rate sample */
  HCTN_SUSPENDED = 4,
  HCTN_RESUMED = 5,
  HCTN_FREED = 6 /* the task is being removed; Info->Stream is null */
};

/* TTranserTaskInfo.State */
enum {
  HCTS_NEW = 0,
  HCTS_ANNOUNCED = 1,
  HCTS_ACCEPTED = 2,
  HCTS_TRANSFERRING = 3,
  HCTS_SUSPENDED = 4,
  HCTS_FINISHED = 5
};

/* TTranserTaskInfo.Direction */
enum { HCTD_SEND = 0, HCTD_RECEIVE = 1 };

/* TTranserTaskInfo.BufferType and the BufferType argument of NewTask. */
enum {
  HCBT_STREAM = 0,    /* read from the stream; the receiver accepts explicitly */
  HCBT_PROC = 1,      /* produced by the buffer procedure */
  HCBT_AUTOSTREAM = 2 /* read from the stream; accepted inside the announcement */
};

/* PacketType of a task: 0 uses the connection's own. */
enum { HCPT_DEFAULT = 0, HCPT_NORMAL = 1, HCPT_COMPRESSED = 2, HCPT_ENCRYPTED = 3 };

/* TTranserTaskInfo.Result */
enum {
  HCTR_NONE = -1,
  HCTR_COMPLETED = 300,
  HCTR_NOTIFY_ERROR = 301,
  HCTR_DENIED = 302,
  HCTR_ABORTED = 303,
  HCTR_NOTIFY_FAILED = 312,
  HCTR_NO_HANDLER = 400
};

/* lParam of the event "member/transernotify" (wParam is the member's UserID). */
enum {
  HCMN_AUTHENTICATED = 1,
  HCMN_CONNECT_FAILED = 2,
  HCMN_DISCONNECTING = 9,
  HCMN_DISCONNECTED = 10
};

/* Presence states of members and of the user. */
enum {
  HCST_OFFLINE = 0,
  HCST_ONLINE = 1,
  HCST_BUSY = 2,
  HCST_TEMPORARILY = 3,
  HCST_RETIRING = 4,
  HCST_TELEPHONING = 5,
  HCST_LUNCHTIME = 6
};

#endif /* TARNIX_PLUGIN_SDK_HCPLUGINTYPES_H */

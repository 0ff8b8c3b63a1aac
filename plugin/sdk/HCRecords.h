#ifndef TARNIX_PLUGIN_SDK_HCRECORDS_H
#define TARNIX_PLUGIN_SDK_HCRECORDS_H
/* The records that travel between host and plugins: TTranserTaskInfo (one
 * transfer task), TTaskNotifyData (lParam of a task notification),
 * THCInternalMessage (a message between the same plugin on two machines) and
 * AlertRecord (wParam of the service "ui/alert"). Compiles as C and as C++.
 *
 * Fields are in their fixed order. On a 32-bit build every record has exactly
 * its designed size and offsets (checked below). On 64-bit, pointer fields are
 * 8 bytes and every field sits at its natural alignment, which moves the later
 * offsets; code must use sizeof and offsetof, never the 32-bit numbers. */
#include <stddef.h>

#include "plugin/sdk/HCPluginTypes.h"

#ifdef __cplusplus
class IHCStream;
class IHCPMember;
#else
#ifndef HC_DECLARED_IHCStream
#define HC_DECLARED_IHCStream
typedef struct IHCStream IHCStream;
#endif
#ifndef HC_DECLARED_IHCPMember
#define HC_DECLARED_IHCPMember
typedef struct IHCPMember IHCPMember;
#endif
#endif

/* One transfer task as plugins see it.
 *
 *   field        32-bit  64-bit  width (32/64)  meaning
 *   TaskUID         0       0     8             task identifier, unique within the connection
 *   TaskName        8       8     4/8           the task's name, NUL-terminated
 *   InitialInfo    12      16     4/8           initial information, NUL-terminated, or null
 *   Size           16      24     8             total bytes of the task's data
 *   Position       24      32     8             bytes transferred so far
 *   State          32      40     4             HCTS_* (0 new .. 5 finished)
 *   (padding)       -      44     0/4
 *   Stream         36      48     4/8           IHCStream over the data, or null; borrowed
 *   Direction      40      56     4             HCTD_SEND or HCTD_RECEIVE
 *   BufferType     44      60     4             HCBT_*
 *   PacketType     48      64     4             HCPT_*
 *   LastTick       52      68     4             tick (ms) of the last rate sample
 *   ElapsedTime    56      72     4             accumulated transfer time in ms
 *   Speed          60      76     4             latest rate in bytes per second
 *   Reserved1      64      80     1 (+3 pad)    always 0
 *   Result         68      84     4             HCTR_*: -1 while alive, else the end code
 *   Tag            72      88     4             the plugin's own value
 *   Reserved2      76      92     4             not filled
 *   size           80      96
 *
 * State, Direction, BufferType and PacketType each carry a byte-wide value,
 * zero-extended. The Stream reference in a record passed during a notification
 * is valid for that call only. */
typedef struct TTranserTaskInfo {
  int64_t TaskUID;
  const char* TaskName;
  const char* InitialInfo;
  int64_t Size;
  int64_t Position;
  int32_t State;
  IHCStream* Stream;
  int32_t Direction;
  int32_t BufferType;
  int32_t PacketType;
  uint32_t LastTick;
  uint32_t ElapsedTime;
  uint32_t Speed;
  uint8_t Reserved1;
  int32_t Result;
  uint32_t Tag;
  uint32_t Reserved2;
} TTranserTaskInfo;

/* lParam of a task notification.
 *
 *   field    32-bit  64-bit
 *   Member      0       0    IHCPMember of the peer; the host holds it for the call
 *   Info        4       8    the task, filled for this call; the plugin may change Info->Tag
 *   size        8      16 */
typedef struct TTaskNotifyData {
  IHCPMember* Member;
  TTranserTaskInfo* Info;
} TTaskNotifyData;

/* An internal message as the plugin framework presents it on arrival. On the
 * wire (the data of a task named <plugin name> + "/internalmsg") it is: int32
 * code, uint32 byte count, then that many bytes, little-endian.
 *
 *   field    32-bit  64-bit
 *   Code        0       0    the sender's message code
 *   Size        4       4    byte count
 *   Data        8       8    the bytes; null when Size is 0
 *   size       12      16 */
typedef struct THCInternalMessage {
  int32_t Code;
  uint32_t Size;
  const void* Data;
} THCInternalMessage;

/* wParam of the service "ui/alert". Texts are UTF-8 and live only during the call.
 *
 *   field        32-bit  64-bit
 *   Kind            0       0    1 prompt or banner, 2 member online, 4 new version, 0 protocol
 * message Reserved        4       4    always -1 DisplayTime     8       8    ms; 0 for the
 * provider's default (padding)       -      12 Title          12      16    NUL-terminated text
 *   Text           16      24    NUL-terminated text
 *   OwnerWindow    20      32    the window the alert belongs to, 0 for none
 *   Option1        24      40
 *   Option2        28      44
 *   Option3        32      48
 *   X              36      52
 *   Y              40      56
 *   Flags          44      60
 *   size           48      64 */
typedef struct AlertRecord {
  int32_t Kind;
  int32_t Reserved;
  int32_t DisplayTime;
  const char* Title;
  const char* Text;
  intptr_t OwnerWindow;
  int32_t Option1;
  int32_t Option2;
  int32_t Option3;
  int32_t X;
  int32_t Y;
  int32_t Flags;
} AlertRecord;

#if UINTPTR_MAX == 0xFFFFFFFFu
HC_STATIC_ASSERT(sizeof(TTranserTaskInfo) == 80, "TTranserTaskInfo is 80 bytes");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, TaskName) == 8, "TaskName at 8");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, InitialInfo) == 12, "InitialInfo at 12");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Size) == 16, "Size at 16");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Position) == 24, "Position at 24");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, State) == 32, "State at 32");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Stream) == 36, "Stream at 36");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Direction) == 40, "Direction at 40");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, BufferType) == 44, "BufferType at 44");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, PacketType) == 48, "PacketType at 48");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, LastTick) == 52, "LastTick at 52");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, ElapsedTime) == 56, "ElapsedTime at 56");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Speed) == 60, "Speed at 60");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Reserved1) == 64, "Reserved1 at 64");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Result) == 68, "Result at 68");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Tag) == 72, "Tag at 72");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Reserved2) == 76, "Reserved2 at 76");
HC_STATIC_ASSERT(sizeof(TTaskNotifyData) == 8, "TTaskNotifyData is 8 bytes");
HC_STATIC_ASSERT(offsetof(TTaskNotifyData, Info) == 4, "Info at 4");
HC_STATIC_ASSERT(sizeof(THCInternalMessage) == 12, "THCInternalMessage is 12 bytes");
HC_STATIC_ASSERT(offsetof(THCInternalMessage, Data) == 8, "Data at 8");
HC_STATIC_ASSERT(sizeof(AlertRecord) == 48, "AlertRecord is 48 bytes");
HC_STATIC_ASSERT(offsetof(AlertRecord, Title) == 12, "Title at 12");
HC_STATIC_ASSERT(offsetof(AlertRecord, OwnerWindow) == 20, "OwnerWindow at 20");
HC_STATIC_ASSERT(offsetof(AlertRecord, Flags) == 44, "Flags at 44");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
HC_STATIC_ASSERT(sizeof(TTranserTaskInfo) == 96, "TTranserTaskInfo is 96 bytes on 64-bit");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, TaskName) == 8, "TaskName at 8");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, InitialInfo) == 16, "InitialInfo at 16");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Size) == 24, "Size at 24");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Position) == 32, "Position at 32");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, State) == 40, "State at 40");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Stream) == 48, "Stream at 48");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Direction) == 56, "Direction at 56");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, BufferType) == 60, "BufferType at 60");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, PacketType) == 64, "PacketType at 64");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, LastTick) == 68, "LastTick at 68");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, ElapsedTime) == 72, "ElapsedTime at 72");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Speed) == 76, "Speed at 76");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Reserved1) == 80, "Reserved1 at 80");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Result) == 84, "Result at 84");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Tag) == 88, "Tag at 88");
HC_STATIC_ASSERT(offsetof(TTranserTaskInfo, Reserved2) == 92, "Reserved2 at 92");
HC_STATIC_ASSERT(sizeof(TTaskNotifyData) == 16, "TTaskNotifyData is 16 bytes on 64-bit");
HC_STATIC_ASSERT(offsetof(TTaskNotifyData, Info) == 8, "Info at 8");
HC_STATIC_ASSERT(sizeof(THCInternalMessage) == 16, "THCInternalMessage is 16 bytes on 64-bit");
HC_STATIC_ASSERT(offsetof(THCInternalMessage, Data) == 8, "Data at 8");
HC_STATIC_ASSERT(sizeof(AlertRecord) == 64, "AlertRecord is 64 bytes on 64-bit");
HC_STATIC_ASSERT(offsetof(AlertRecord, Title) == 16, "Title at 16");
HC_STATIC_ASSERT(offsetof(AlertRecord, Text) == 24, "Text at 24");
HC_STATIC_ASSERT(offsetof(AlertRecord, OwnerWindow) == 32, "OwnerWindow at 32");
HC_STATIC_ASSERT(offsetof(AlertRecord, Option1) == 40, "Option1 at 40");
HC_STATIC_ASSERT(offsetof(AlertRecord, Flags) == 60, "Flags at 60");
#endif

/* wParam of the service "ui/toolmenu/add": the button's caption (UTF-8, valid
 * for the call) and its icon, 0 for the default picture or a pointer to the
 * UTF-8 path of an image file (read during the call). */
typedef struct THCToolMenuRecord {
  const char* Caption;
  intptr_t Icon;
} THCToolMenuRecord;

/* lParam of a member-menu procedure called with code 0: the procedure writes
 * the action's caption (UTF-8, NUL-terminated) into Buffer, at most Size bytes
 * with the NUL. The host passes Size 128 and a buffer of NULs. */
typedef struct THCMenuCaptionRecord {
  char* Buffer;
  int32_t Size;
} THCMenuCaptionRecord;

/* The byte count GetTask needs for a task: the record, then the task name and
 * the initial information, each with its NUL. */
static inline size_t HCTaskCopySize(size_t nameLength, size_t initialInfoLength) {
  return sizeof(TTranserTaskInfo) + nameLength + 1 + initialInfoLength + 1;
}

#endif /* TARNIX_PLUGIN_SDK_HCRECORDS_H */

/* A plugin written in plain C against the C view of the interfaces: it proves
 * that the contract is binary (vtable layout, calling convention, strings and
 * reference counts), not a C++ source contract.
 *
 * Build switches: CPLAIN_NAME (information string 1), CPLAIN_OMIT_TERMINATE
 * (no Terminate export).
 *
 * Services, each named CPLAIN_NAME + suffix:
 *   "/echo"       answers wParam + lParam
 *   "/callback"   wParam: name of a host service; calls it with (7, 8) through
 *                 the handler and answers its result (-1 when absent)
 *   "/readstream" wParam: an IHCStream of the host, lParam: a 64-byte buffer;
 *                 reads up to 63 bytes into it, NUL-terminated; answers the count
 *   "/makestream" answers a new IHCStream implemented here, holding "made in C"
 *   "/streams"    answers how many of those streams are still alive
 * Hook: event CPLAIN_NAME + "/double" answers lParam * 2. */
#include <stdlib.h>
#include <string.h>

#include "plugin/sdk/HCPluginC.h"
#include "plugin/sdk/HCPluginExports.h"

#ifndef CPLAIN_NAME
#define CPLAIN_NAME "cplain"
#endif

static const char* const kInfo[HCPI_COUNT] = {
    HC_INTERFACE_VERSION, CPLAIN_NAME, "Plain C", "A plugin in C", "tarnix tests", "", "1.0"};

static IHCHandler* gHandler = NULL;
static uint32_t gServices[5];
static HCHEvent gHook = 0;
static int gStreamsAlive = 0;

/* --- A read-only IHCStream implemented in C. --- */
typedef struct CStream {
  IHCStream base; /* first, so an IHCStream* is a CStream* */
  uint32_t refs;
  const char* data;
  uint32_t size;
  uint32_t position;
} CStream;

static HCRESULT HCCALL CStreamQueryInterface(IHCStream* self, const HCGUID* iid, void** object) {
  if (object == NULL) return HC_E_POINTER;
  if (HCIsEqualGUID(iid, &IID_IHCUnknown) || HCIsEqualGUID(iid, &IID_IHCStream)) {
    self->lpVtbl->AddRef(self);
    *object = self;
    return HCPE_ALLRIGHT;
  }
  *object = NULL;
  return HC_E_NOINTERFACE;
}

static uint32_t HCCALL CStreamAddRef(IHCStream* self) {
  return ++((CStream*)self)->refs;
}

static uint32_t HCCALL CStreamRelease(IHCStream* self) {
  CStream* stream = (CStream*)self;
  uint32_t left = --stream->refs;
  if (left == 0) {
    free(stream);
    --gStreamsAlive;
  }
  return left;
}

static uint32_t HCCALL CStreamRead(IHCStream* self, void* buffer, uint32_t size) {
  CStream* stream = (CStream*)self;
  uint32_t left = stream->size - stream->position;
  uint32_t count = size < left ? size : left;
  memcpy(buffer, stream->data + stream->position, count);
  stream->position += count;
  return count;
}

static uint32_t HCCALL CStreamWrite(IHCStream* self, const void* buffer, uint32_t size) {
  (void)self, (void)buffer, (void)size;
  return 0;
}

static int64_t HCCALL CStreamSeek(IHCStream* self, int64_t offset, int32_t origin) {
  CStream* stream = (CStream*)self;
  int64_t base = origin == 1 ? stream->position : origin == 2 ? stream->size : 0;
  int64_t target = base + offset;
  if (target < 0) target = 0;
  if (target > stream->size) target = stream->size;
  stream->position = (uint32_t)target;
  return target;
}

static intptr_t HCCALL CStreamHandle(IHCStream* self) {
  return (intptr_t)self;
}

static const IHCStreamVtbl kCStreamVtbl = {CStreamQueryInterface, CStreamAddRef, CStreamRelease,
                                           CStreamRead,           CStreamWrite,  CStreamSeek,
                                           CStreamHandle};

/* --- Services and the hook. --- */
static intptr_t HCCALL Echo(intptr_t wParam, intptr_t lParam) {
  return wParam + lParam;
}

static intptr_t HCCALL Callback(intptr_t wParam, intptr_t lParam) {
  (void)lParam;
  uint32_t service = gHandler->lpVtbl->GetService(gHandler, (const char*)wParam);
  if (service == 0) return -1;
  return gHandler->lpVtbl->CallService(gHandler, service, 7, 8);
}

static intptr_t HCCALL ReadStream(intptr_t wParam, intptr_t lParam) {
  IHCStream* stream = (IHCStream*)wParam;
  char* buffer = (char*)lParam;
  if (stream == NULL || buffer == NULL) return -1;
  stream->lpVtbl->Seek(stream, 0, 0);
  uint32_t count = stream->lpVtbl->Read(stream, buffer, 63);
  buffer[count] = '\0';
  return (intptr_t)count;
}

static intptr_t HCCALL MakeStream(intptr_t wParam, intptr_t lParam) {
  (void)wParam, (void)lParam;
  CStream* stream = (CStream*)calloc(1, sizeof(CStream));
  if (stream == NULL) return 0;
  stream->base.lpVtbl = &kCStreamVtbl;
  stream->refs = 1;
  stream->data = "made in C";
  stream->size = (uint32_t)strlen(stream->data);
  ++gStreamsAlive;
  return (intptr_t)&stream->base;
}

static intptr_t HCCALL Streams(intptr_t wParam, intptr_t lParam) {
  (void)wParam, (void)lParam;
  return gStreamsAlive;
}

static intptr_t HCCALL Double(intptr_t wParam, intptr_t lParam) {
  (void)wParam;
  return lParam * 2;
}

/* --- Exports. --- */
HC_PLUGIN_EXPORT int32_t HCCALL GetPluginInfo(int32_t index, char* buffer, int32_t bufferSize) {
  if (index < 0 || index >= HCPI_COUNT || buffer == NULL || bufferSize < 1) return 0;
  size_t length = strlen(kInfo[index]);
  if (length == 0) return 0;
  if (length > (size_t)bufferSize - 1) length = (size_t)bufferSize - 1;
  memcpy(buffer, kInfo[index], length);
  buffer[length] = '\0';
  return (int32_t)length;
}

HC_PLUGIN_EXPORT int32_t HCCALL Initialize(IHCHandler* handler) {
  static const char* const suffixes[5] = {"/echo", "/callback", "/readstream", "/makestream",
                                          "/streams"};
  static const HCProc procs[5] = {Echo, Callback, ReadStream, MakeStream, Streams};
  char name[128];
  if (gHandler != NULL || handler == NULL) return HCPE_INTERNAL_ERROR;
  handler->lpVtbl->AddRef(handler);
  gHandler = handler;
  for (int i = 0; i < 5; ++i) {
    strcpy(name, CPLAIN_NAME);
    strcat(name, suffixes[i]);
    gServices[i] = (uint32_t)handler->lpVtbl->CreateService(handler, name, procs[i]);
  }
  strcpy(name, CPLAIN_NAME);
  strcat(name, "/double");
  gHook = handler->lpVtbl->HookEvent(handler, name, Double);
  return HCPE_ALLRIGHT;
}

#ifndef CPLAIN_OMIT_TERMINATE
HC_PLUGIN_EXPORT int32_t HCCALL Terminate(void) {
  if (gHandler == NULL) return HCPE_UNINITIALIZED_ERROR;
  for (int i = 0; i < 5; ++i) gHandler->lpVtbl->DeleteService(gHandler, gServices[i]);
  gHandler->lpVtbl->UnhookEvent(gHandler, gHook);
  gHandler->lpVtbl->Release(gHandler);
  gHandler = NULL;
  return HCPE_ALLRIGHT;
}
#endif

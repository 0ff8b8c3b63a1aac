#ifndef TARNIX_PLUGIN_SDK_HCPLUGINEXPORTS_H
#define TARNIX_PLUGIN_SDK_HCPLUGINEXPORTS_H
/* The three functions every plugin library exports (undecorated C names), their
 * pointer types for the host's loader, and their contract:
 *
 * GetPluginInfo(index, buffer, bufferSize): copies information string `index`
 *   (HCPI_*) into buffer, at most bufferSize - 1 bytes and a NUL, and answers the
 *   length of what now stands there. An index outside 0..6, an empty string, a
 *   null buffer or a bufferSize below 1 answer 0 and leave the buffer untouched.
 * Initialize(handler): called once after loading. The plugin takes its own
 *   reference to the handler, registers its services and hooks and answers
 *   HCPE_ALLRIGHT, or an error code after undoing every registration (the host
 *   then unloads it without calling Terminate). A second call answers
 *   HCPE_INTERNAL_ERROR and changes nothing.
 * Terminate(): called once before unloading, after the host has cleared every
 *   service and hook. The plugin deletes its services, releases every host
 *   interface it holds (the handler last) and answers HCPE_ALLRIGHT;
 *   HCPE_INTERNAL_ERROR if that failed; HCPE_UNINITIALIZED_ERROR if it was never
 *   initialised.
 *
 * A C plugin defines the three functions with these prototypes; a C++ plugin on
 * tarnix::THCPluginSkeleton gets them from TARNIX_PLUGIN. No exception may leave
 * any of them. */
#include "plugin/sdk/HCPluginTypes.h"

#ifdef __cplusplus
class IHCHandler;
#else
#ifndef HC_DECLARED_IHCHandler
#define HC_DECLARED_IHCHandler
typedef struct IHCHandler IHCHandler;
#endif
#endif

typedef int32_t(HCCALL* HCGetPluginInfoProc)(int32_t index, char* buffer, int32_t bufferSize);
typedef int32_t(HCCALL* HCInitializeProc)(IHCHandler* handler);
typedef int32_t(HCCALL* HCTerminateProc)(void);

/* Export names, as the loader resolves them. */
#define HC_EXPORT_GET_PLUGIN_INFO "GetPluginInfo"
#define HC_EXPORT_INITIALIZE "Initialize"
#define HC_EXPORT_TERMINATE "Terminate"

HC_EXTERN_C HC_PLUGIN_EXPORT int32_t HCCALL GetPluginInfo(int32_t index, char* buffer,
                                                          int32_t bufferSize);
HC_EXTERN_C HC_PLUGIN_EXPORT int32_t HCCALL Initialize(IHCHandler* handler);
HC_EXTERN_C HC_PLUGIN_EXPORT int32_t HCCALL Terminate(void);

#endif /* TARNIX_PLUGIN_SDK_HCPLUGINEXPORTS_H */

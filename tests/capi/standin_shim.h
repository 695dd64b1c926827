/* C access to the test stand-ins for the C interface's tests: the channel
 * transport into the plug-in running in the client stand-in, and what the
 * recording Simple MAPI stand-in saw. */
#ifndef ZOBRIK_STANDIN_SHIM_H
#define ZOBRIK_STANDIN_SHIM_H

#include <stddef.h>
#include <stdint.h>

#include "zobrik_remote.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A transport whose channels lead into the real plug-in DLL, loaded in the
 * Remote Desktop client stand-in of this process. */
const zobrik_transport* standin_transport(void);

/* The recording Simple MAPI stand-in: its calls since the last reset. */
int standin_mapi_reset(void);
int standin_mapi_call_count(void);
/* Of call `call`: the subject in UTF-8 (0 when the call or subject is
 * missing), the number of files, and whether file `file` holds exactly
 * `size` bytes equal to `data`. */
int standin_mapi_subject(int call, char* buffer, size_t capacity);
int standin_mapi_file_count(int call);
int standin_mapi_file_equals(int call, int file, const char* name, const void* data, size_t size);

#ifdef __cplusplus
}
#endif

#endif

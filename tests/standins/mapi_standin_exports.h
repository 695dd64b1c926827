// The control exports of the recording MAPI32 stand-in: a plain C ABI, so that
// the stand-in and its callers (each with its own static C++ runtime) share no
// C++ objects. Records are returned as text (see mapi_record_format.h).
#pragma once

#include <windows.h>

extern "C" {

// Result that every later MAPISendMailW call returns (initially 0, SUCCESS_SUCCESS).
using ZobrikMapiStandIn_SetResultFn = void(WINAPI*)(ULONG result);
// While TRUE, every MAPISendMailW call blocks after recording, until released
// (as a modal compose dialog would). Setting FALSE also releases blocked calls.
using ZobrikMapiStandIn_SetBlockingFn = void(WINAPI*)(BOOL blocking);
// Lets every call that is blocked now return.
using ZobrikMapiStandIn_ReleaseBlockedFn = void(WINAPI*)();
// Releases blocked calls, forgets all records, result 0, not blocking.
using ZobrikMapiStandIn_ResetFn = void(WINAPI*)();
// Number of MAPISendMailW calls recorded since load or Reset.
using ZobrikMapiStandIn_CallCountFn = ULONG(WINAPI*)();
// Waits until at least `count` calls are recorded; TRUE if reached in time.
using ZobrikMapiStandIn_WaitForCallsFn = BOOL(WINAPI*)(ULONG count, ULONG timeoutMs);
// Number of calls blocked right now.
using ZobrikMapiStandIn_BlockedCountFn = ULONG(WINAPI*)();
// Waits until at least `count` calls are blocked at the same time; TRUE if reached in time.
using ZobrikMapiStandIn_WaitForBlockedFn = BOOL(WINAPI*)(ULONG count, ULONG timeoutMs);
// Copies record `index` (UTF-8, NUL-terminated) into buffer when `size` is large
// enough; returns the size needed including the NUL, or 0 when there is no such record.
using ZobrikMapiStandIn_GetCallFn = ULONG(WINAPI*)(ULONG index, char* buffer, ULONG size);

}  // extern "C"

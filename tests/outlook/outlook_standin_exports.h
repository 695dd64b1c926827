// The control exports of the Outlook stand-in (outlook_standin.dll): a plain C
// ABI, so that the stand-in and its callers (each with its own static C++
// runtime) share no C++ objects. The test process reaches them through
// GetProcAddress on the module that COM loads for Outlook's class id.
//
// Member names, as used by FailCall/FailWithNull and in the records, are
// "<Interface>.<member>" with the member's vtable name: "Recipients.Add",
// "_MailItem.put_Body", "_Accounts.Item", "_Inspector.Display",
// "IClassFactory.CreateInstance", ...
#pragma once

#include <windows.h>

extern "C" {

// Forgets every record, counter, failure rule and account; instance numbers
// start again at 1; options back to their defaults; releases blocked calls.
// Objects still alive keep working (and keep their old names).
using ZobrikOutlookStandIn_ResetFn = void(WINAPI*)();

// Appends an account (Accounts.Item index = number of accounts so far + 1).
// A null pointer makes the matching get deliver a null BSTR.
using ZobrikOutlookStandIn_AddAccountFn = void(WINAPI*)(const wchar_t* smtpAddress, const wchar_t* displayName,
                                                        const wchar_t* userName);

// The `nth` call (1-based, counted per member since Reset over all instances;
// 0 = every call) of `member` returns `hr`. A failure code leaves every out
// parameter null; a success code (S_FALSE) lets the call do its work and
// return that code. With `errorDescription` not null the failing call also
// sets the thread's error info (SetErrorInfo; source "Outlook stand-in",
// guid = the interface id, the object answers ISupportErrorInfo for it);
// otherwise it clears it.
using ZobrikOutlookStandIn_FailCallFn = void(WINAPI*)(const char* member, ULONG nth, HRESULT hr,
                                                      const wchar_t* errorDescription);

// The `nth` call of `member` returns S_OK and delivers no object (null out
// object, null BSTR, 0). Without an out parameter it only does nothing.
using ZobrikOutlookStandIn_FailWithNullFn = void(WINAPI*)(const char* member, ULONG nth);

// While TRUE, CreateItem delivers an object that answers only IUnknown and
// IDispatch (QueryInterface for _MailItem gives E_NOINTERFACE).
using ZobrikOutlookStandIn_SetCreateItemNotMailFn = void(WINAPI*)(BOOL notMail);

// While TRUE, a Display call whose modal argument is true (VT_BOOL -1, or any
// value that converts to true) records itself and then blocks, pumping
// messages, until ReleaseModal or Reset. FALSE (the default): it returns at once.
using ZobrikOutlookStandIn_SetModalBlockingFn = void(WINAPI*)(BOOL blocking);
// Lets every Display call that is blocked now return.
using ZobrikOutlookStandIn_ReleaseModalFn = void(WINAPI*)();
// Number of Display calls blocked right now.
using ZobrikOutlookStandIn_BlockedCountFn = ULONG(WINAPI*)();
// Waits until at least `count` Display calls are blocked; TRUE if reached in time.
using ZobrikOutlookStandIn_WaitForBlockedFn = BOOL(WINAPI*)(ULONG count, ULONG timeoutMs);

// TRUE (the default): Attachments.Add fails when Source is not a VT_BSTR
// (DISP_E_TYPEMISMATCH) or its file cannot be read (HRESULT_FROM_WIN32 of the
// error), as Outlook does. FALSE: it records what it found and succeeds.
using ZobrikOutlookStandIn_SetAttachmentFileRequiredFn = void(WINAPI*)(BOOL required);

// Extra records (outlook_record_format.h: kTraceQueryInterface, kTraceDestruction).
using ZobrikOutlookStandIn_SetTraceFn = void(WINAPI*)(ULONG flags);

// Number of records since load or Reset.
using ZobrikOutlookStandIn_CallCountFn = ULONG(WINAPI*)();
// Copies record `index` (UTF-8, NUL-terminated) into `buffer` when `size` is
// large enough; returns the size needed including the NUL, 0 if no such record.
using ZobrikOutlookStandIn_GetCallFn = ULONG(WINAPI*)(ULONG index, char* buffer, ULONG size);
// Waits until at least `count` records exist; TRUE if reached in time.
using ZobrikOutlookStandIn_WaitForCallsFn = BOOL(WINAPI*)(ULONG count, ULONG timeoutMs);

// Number of stand-in objects alive now (the class factory is not counted).
using ZobrikOutlookStandIn_LiveObjectsFn = ULONG(WINAPI*)();
// Sum of the reference counts of the live objects.
using ZobrikOutlookStandIn_OutstandingReferencesFn = ULONG(WINAPI*)();
// The live objects as text, "item#1(2) recipient#3(1)" (name and reference
// count); buffer protocol as GetCall.
using ZobrikOutlookStandIn_GetLiveObjectListFn = ULONG(WINAPI*)(char* buffer, ULONG size);

}  // extern "C"

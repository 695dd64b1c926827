// Simple MAPI's result codes (the values of mapi.h), under names of their
// own so that this header and <mapi.h>'s macros can meet in one file, and the
// debugger line every refused or failed call leaves.
//
// Header-only, no platform headers.
#pragma once

#include <cstdint>
#include <string>

namespace zobrik::mapi {

inline constexpr uint32_t kMapiSuccess = 0;                  // SUCCESS_SUCCESS
inline constexpr uint32_t kMapiUserAbort = 1;                // MAPI_E_USER_ABORT
inline constexpr uint32_t kMapiFailure = 2;                  // MAPI_E_FAILURE
inline constexpr uint32_t kMapiInsufficientMemory = 5;       // MAPI_E_INSUFFICIENT_MEMORY
inline constexpr uint32_t kMapiTooManyFiles = 9;             // MAPI_E_TOO_MANY_FILES
inline constexpr uint32_t kMapiTooManyRecipients = 10;       // MAPI_E_TOO_MANY_RECIPIENTS
inline constexpr uint32_t kMapiAttachmentNotFound = 11;      // MAPI_E_ATTACHMENT_NOT_FOUND
inline constexpr uint32_t kMapiAttachmentOpenFailure = 12;   // MAPI_E_ATTACHMENT_OPEN_FAILURE
inline constexpr uint32_t kMapiAttachmentWriteFailure = 13;  // MAPI_E_ATTACHMENT_WRITE_FAILURE
inline constexpr uint32_t kMapiUnknownRecipient = 14;        // MAPI_E_UNKNOWN_RECIPIENT
inline constexpr uint32_t kMapiBadRecipType = 15;            // MAPI_E_BAD_RECIPTYPE
inline constexpr uint32_t kMapiTextTooLarge = 18;            // MAPI_E_TEXT_TOO_LARGE
inline constexpr uint32_t kMapiInvalidRecips = 25;           // MAPI_E_INVALID_RECIPS
inline constexpr uint32_t kMapiNotSupported = 26;            // MAPI_E_NOT_SUPPORTED
inline constexpr uint32_t kMapiAttachmentTooLarge = 28;      // MAPI_E_ATTACHMENT_TOO_LARGE

// Simple MAPI's recipient classes and flags.
inline constexpr uint32_t kMapiOrig = 0;
inline constexpr uint32_t kMapiTo = 1;
inline constexpr uint32_t kMapiCc = 2;
inline constexpr uint32_t kMapiBcc = 3;
inline constexpr uint32_t kMapiDialogModeless = 0x00000004;  // MAPI_DIALOG_MODELESS
inline constexpr uint32_t kMapiDialog = 0x00000008;          // MAPI_DIALOG

// What a call answers: its result code and, for anything but success, the
// line the provider writes to the debugger output ("ZobrikMapi: ...").
struct Outcome {
    uint32_t code = kMapiSuccess;
    std::string line;

    bool Succeeded() const noexcept { return code == kMapiSuccess; }
};

inline Outcome Refuse(uint32_t code, const std::string& why) { return {code, "ZobrikMapi: " + why}; }

}  // namespace zobrik::mapi

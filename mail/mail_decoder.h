// Validation and decoding of one complete mail request.
#pragma once

#include <cstdint>

#include "include/mail_request.h"

namespace zobrik {

// Raised when the header's counts promise more records than the request could
// hold even if every record had its smallest possible size (two empty strings
// per recipient, 17 bytes per attachment), or when the recipient counts do not
// sum within 32 bits. Such a request would fail later anyway; rejecting it
// before anything is allocated keeps a small request from sizing huge buffers.
inline constexpr const char* kTooManyRecordsMessage = "too many records";

// Raised for a request shorter than its 64-byte header (nothing is read past
// its end). Such a request is incomplete, like one whose totalSize differs
// from its length.
inline constexpr const char* kShortRequestMessage = "missing some data";

// Checks the `length` bytes of `request` and decodes them into a MailRequest.
// Every failed check raises its message through RaiseMailError (a
// `const char*`); a failed allocation raises std::bad_alloc.
//
// The request is written to in one place: a dataOffset of 0 in the header
// (bytes 16..23) is replaced by `length`, the effective value, as soon as the
// header has passed its version, flags and totalSize checks.
//
// Every decoded string (subject, body, each display name, each address without
// its "SMTP:" prefix, each file name) is written to the debug output as it is
// decoded, one DebugOutput call per string with exactly its text (no newline
// is added). The returned strings point into MailRequest::text, the
// attachments' data into `request`, which must outlive the result.
MailRequest DecodeMailRequest(uint8_t* request, uint32_t length);

}  // namespace zobrik

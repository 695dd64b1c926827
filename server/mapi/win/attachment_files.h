// The attachment files of the session host: opened once for reading, their
// facts for the checks, and read straight into the mail request.
#pragma once

#include <string>

#include "server/mapi/mail_hand_over.h"

namespace zobrik::mapi {

// Opens the file at the UTF-8 path; the result's fill reads from the same
// open handle, so the file checked is the file read.
AttachmentFile OpenAttachmentFile(const std::string& utf8Path);

}  // namespace zobrik::mapi

// Naming of staged attachment files. An attachment is staged under the base
// name of its file name as sent (the part after the last backslash or
// slash). Names that Windows would treat specially are changed so that no
// attachment can reach a device or an alternate data stream, and equal names
// within one request are made unique so that every attachment keeps its own
// bytes. The name offered to the mail program stays as sent.
#pragma once

#include <vector>

#include "mail_request.h"
#include "wide_text.h"

namespace zobrik {

// The part of `fileName` after its last '\\' and then after its last '/';
// may be empty.
WideString AttachmentBaseName(WideStringView fileName);

// A name that is safe as one file in a directory of our own:
// characters invalid in file names (controls, < > : " / \ | ? *) become '_',
// trailing dots and spaces are dropped, a reserved device name (CON, PRN,
// AUX, NUL, COM0-9, LPT0-9, also with superscript digits, with or without
// extension) gets a leading '_', and a name that is nothing but dots and
// spaces becomes "attachment". An empty name stays empty (it names no file).
WideString SafeFileName(WideStringView baseName);

// Whether Windows reserves `name` (the part before its first dot, without
// trailing spaces) for a device.
bool IsReservedDeviceName(WideStringView name);

// The on-disk names of all attachments of a request, in attachment order:
// the safe base names, where a name already used earlier in the request
// (compared without regard to letter case, as Windows does) becomes
// "name (2).ext", "name (3).ext", ...
std::vector<WideString> StagedFileNames(const std::vector<MailAttachment>& attachments);

}  // namespace zobrik

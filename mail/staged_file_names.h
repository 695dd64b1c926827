// Naming of staged attachment files. An attachment is staged under the base
// name of its file name as sent (the part after the last backslash or
// slash). Names that Windows would treat specially, or that could read as
// another path or in another order, are changed so that no attachment can
// reach a device, an alternate data stream or another directory, and equal
// names within one request are made unique so that every attachment keeps its
// own bytes. The name offered to the mail program is the staged file's own
// name: no part of a path or look-alike of one reaches it.
#pragma once

#include <cstddef>
#include <vector>

#include "include/mail_request.h"
#include "include/wide_text.h"

namespace zobrik {

// The part of `fileName` after its last '\\' and then after its last '/';
// may be empty.
WideString AttachmentBaseName(WideStringView fileName);

// The longest file name Windows accepts (one path component), in UTF-16 units.
inline constexpr size_t kMaxFileNameUnits = 255;

// A name that is safe as one file in a directory of our own, at most
// kMaxFileNameUnits units long:
// - '_' replaces every character invalid in file names (C0 controls and
//   < > : " / \ | ? *), DEL and the C1 controls (U+007F-U+009F), the bidi
//   formatting characters (U+061C, U+200E, U+200F, U+202A-U+202E,
//   U+2066-U+2069), and the look-alikes of \ / . : " * < > ? | that an ANSI
//   code page's best fit or a compatibility normalisation turns into them
//   (fullwidth and small forms, U+2044, U+2215, U+2216, U+2236, U+00A5,
//   U+00B4, ...); the name keeps its length and shape;
// - trailing dots and spaces are dropped;
// - a reserved device name (see IsReservedDeviceName) gets a leading '_';
// - a longer name is cut to kMaxFileNameUnits: its stem (the part before the
//   last dot that is not the first unit) is shortened and its extension
//   kept; an extension that leaves no room for a stem is cut at its end
//   instead. A cut never separates the halves of a surrogate pair;
// - a name that is nothing but dots and spaces becomes "attachment".
// These hold for the result together, whatever the order in which a name
// needs them. An empty name stays empty (it names no file).
WideString SafeFileName(WideStringView baseName);

// The n-th numbered variant of a safe name (a result of SafeFileName or of
// this function), for a name that is already taken: "name (n).ext"
// ("name (n)" without an extension, ".profile (n)" for a name with only a
// leading dot). The stem is shortened so that the variant fits
// kMaxFileNameUnits with its counter and extension. An extension so long
// that it would leave no room for a stem beside the counter of any n (more
// than 241 units) is not kept apart: for every n the whole name is
// shortened and the counter goes at its end. A cut never separates the
// halves of a surrogate pair. Different n give different variants of one
// name, so a caller whose file already exists can try n = 2, 3, ... in
// turn. A variant is a safe name again: it ends like the safe name or in
// ')', so never in a dot or a space, and is no device name.
WideString NumberedFileName(WideStringView safeName, unsigned n);

// The name to offer the mail program for an attachment (MapiFileDescW's
// lpszFileName, the DisplayName of Outlook's Attachments.Add): the last
// component of its staged path, or, before staging, of the name as sent;
// without control characters (C0, DEL, C1) and bidi formatting characters,
// which are removed, and then made safe like a staged name (SafeFileName),
// so that it holds no separator, drive, look-alike of a separator, dot or
// colon, and no device name. The name of a staged file comes back
// unchanged. Empty when the request gives no file name.
WideString OfferedFileName(const MailAttachment& attachment);

// Whether Windows reserves `name` (the part before its first dot, without
// trailing spaces) for a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// CLOCK$, COM0-9 and LPT0-9 (also with the superscript digits 1, 2 and 3),
// in any letter case.
bool IsReservedDeviceName(WideStringView name);

// The on-disk names of all attachments of a request, in attachment order:
// the safe base names, where a name already used earlier in the request
// (compared without regard to letter case, as Windows does) becomes the
// first of NumberedFileName(name, 2), (name, 3), ... that is still free.
std::vector<WideString> StagedFileNames(const std::vector<MailAttachment>& attachments);

}  // namespace zobrik

#include "outlook_arguments.h"

#include "include/ascii_text.h"
#include "staged_file_names.h"

namespace zobrik {

namespace {

bool IsEmpty(const WideChar* text) noexcept { return !text || !*text; }

bool Equal(const WideChar* a, const WideChar* b) noexcept {
    return WideStringView(a ? a : ZOBRIK_WIDE("")) == WideStringView(b ? b : ZOBRIK_WIDE(""));
}

}  // namespace

bool EqualsIgnoringAsciiCase(const WideChar* a, const WideChar* b) noexcept {
    return SameIgnoringAsciiCase(a ? a : ZOBRIK_WIDE(""), b ? b : ZOBRIK_WIDE(""));
}

WideString OutlookRecipientText(const WideChar* displayName, const WideChar* address) {
    WideString text;
    const WideChar* bareAddress = address ? address : ZOBRIK_WIDE("");
    if (IsEmpty(displayName) || Equal(displayName, address)) {
        return WideString(bareAddress);
    }
    text += WideChar('"');
    for (const WideChar* p = displayName; *p; ++p) {
        if (*p == WideChar('"')) {
            text += WideChar('\\');
        }
        text += *p;
    }
    text += ZOBRIK_WIDE("\" <");
    text += bareAddress;
    text += WideChar('>');
    return text;
}

WideString OutlookAttachmentDisplayName(const MailAttachment& attachment) { return OfferedFileName(attachment); }

long OutlookRecipientType(const MailRequest& request, uint32_t index) noexcept {
    if (index < request.PrimaryEnd()) {
        return 1;  // olTo
    }
    if (index < request.CopyEnd()) {
        return 2;  // olCC
    }
    return 3;  // olBCC
}

}  // namespace zobrik

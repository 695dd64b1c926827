#include "mail_admin_policy.h"

#include <string>

#include "include/debug_output.h"
#include "mail_decoder.h"

namespace zobrik {

namespace {

WideString Decimal(uint64_t value) {
    const std::string digits = std::to_string(value);
    return WideString(digits.begin(), digits.end());
}

// "mail refused: 12 recipients, at most 10 (policy MailMaxRecipients)"
[[noreturn]] void RefuseCount(uint64_t count, const WideChar* what, uint32_t most, const WideChar* setting) {
    WideString line = ZOBRIK_WIDE("mail refused: ") + Decimal(count) + what + ZOBRIK_WIDE(", at most ") +
                      Decimal(most) + ZOBRIK_WIDE(" (policy ") + setting + ZOBRIK_WIDE(")");
    DebugEvent(line.c_str(), DebugLevel::Info);
    RaiseMailError(kTooManyRecordsMessage);
}

}  // namespace

void CheckMailAgainstPolicy(const MailRequest& mail, const AdminPolicy& policy) {
    const uint64_t recipients = uint64_t(mail.CopyEnd()) + mail.bccCount;
    if (recipients > policy.mailMaxRecipients) {
        RefuseCount(recipients, ZOBRIK_WIDE(" recipients"), policy.mailMaxRecipients, kMailMaxRecipientsSetting);
    }
    if (mail.attachmentCount > policy.mailMaxAttachments) {
        RefuseCount(mail.attachmentCount, ZOBRIK_WIDE(" attachments"), policy.mailMaxAttachments,
                    kMailMaxAttachmentsSetting);
    }
}

bool TakesOutlookRoute(uint32_t flags, const AdminPolicy& policy) {
    if (!(flags & MAIL_FLAG_OUTLOOK)) {
        return false;
    }
    if (!policy.mailAllowOutlook) {
        DebugEvent(ZOBRIK_WIDE("mail handed to Simple MAPI, not Outlook (policy MailAllowOutlook)"), DebugLevel::Info);
        return false;
    }
    return true;
}

uint32_t OutlookFlags(const MailRequest& mail, const AdminPolicy& policy) {
    const uint32_t flags = mail.flags;
    if (!(flags & MAIL_FLAG_IMMEDIATE)) {
        return flags;
    }
    if (!policy.mailAllowImmediateSend) {
        DebugEvent(ZOBRIK_WIDE("mail shown instead of sent at once (policy MailAllowImmediateSend)"), DebugLevel::Info);
        return flags & ~MAIL_FLAG_IMMEDIATE;
    }
    if (!mail.HasRecipient()) {
        DebugEvent(ZOBRIK_WIDE("mail shown instead of sent at once (no to, cc or bcc recipient)"));
        return flags & ~MAIL_FLAG_IMMEDIATE;
    }
    return flags;
}

}  // namespace zobrik

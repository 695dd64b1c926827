#include "mail_processing.h"

#include <windows.h>

#include "attachment_staging.h"
#include "include/debug_output.h"
#include "mail/mail_admin_policy.h"
#include "mail/mail_decoder.h"
#include "mail/simple_mapi_message.h"
#include "outlook_handover.h"
#include "simple_mapi_send.h"

namespace zobrik {

int32_t ProcessMailRequest(uint32_t length, uint8_t* request, const AdminPolicy& policy) {
    DebugEvent(ZOBRIK_WIDE("OnDataReceived"));
    MailRequest mail = DecodeMailRequest(request, length);
    CheckMailAgainstPolicy(mail, policy);

    // Whatever ends the request, the area removes what it staged, unless the
    // hand-over below keeps it for a compose window that stays open.
    StagingArea staging;
    StageAttachments(mail, length, staging);

    bool handedToOutlook = false;
    if (TakesOutlookRoute(mail.flags, policy)) {
        // Outlook may be given fewer flags than asked for; Simple MAPI, if
        // Outlook fails, gets the request's own.
        const uint32_t requested = mail.flags;
        mail.flags = OutlookFlags(mail, policy);
        handedToOutlook = HandOverToOutlook(mail) >= 0;
        mail.flags = requested;
    }
    if (!handedToOutlook) {
        // A compose window that stays open keeps the files; whether there is
        // room for them is decided before the window opens.
        const bool modeless = SimpleMapiOptions(mail.flags) & MAPI_DIALOG_MODELESS;
        KeptAreaReservation keptPlace = modeless ? ReserveKeptArea(mail.attachments) : KeptAreaReservation();
        SendWithSimpleMapi(mail);
        if (modeless) {
            KeepForTheMailProgram(std::move(staging), std::move(keptPlace));
        }
    }
    return 0;
}

}  // namespace zobrik

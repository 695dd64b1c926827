#include "mail_processing.h"

#include <windows.h>

#include "attachment_staging.h"
#include "debug_output.h"
#include "mail_decoder.h"
#include "outlook_handover.h"
#include "simple_mapi_send.h"

namespace zobrik {

int32_t ProcessMailRequest(uint32_t length, uint8_t* request) {
    DebugEvent(ZOBRIK_WIDE("OnDataReceived"));
    MailRequest mail = DecodeMailRequest(request, length);

    StagingArea staging;
    StageAttachments(mail, staging);

    bool handedToOutlook = (mail.flags & MAIL_FLAG_OUTLOOK) && HandOverToOutlook(mail) >= 0;
    if (!handedToOutlook) {
        SendWithSimpleMapi(mail);
    }

    RemoveStagedFiles(staging, mail.attachmentCount);
    return 0;
}

}  // namespace zobrik

#include "mail_processing.h"

#include <vector>

#include "attachment_staging.h"
#include "include/debug_output.h"
#include "include/posix/program_run.h"
#include "mail/mail_admin_policy.h"
#include "mail/mail_decoder.h"
#include "mail/xdg_email_arguments.h"

namespace zobrik {

int32_t ProcessMailRequest(uint32_t length, uint8_t* request, const AdminPolicy& policy,
                           const std::string& stagingRoot) {
    MailRequest mail = DecodeMailRequest(request, length);
    CheckMailAgainstPolicy(mail, policy);

    // The mail program keeps the files after the hand-over: whether there
    // is room for them is decided before anything is written.
    KeptAreaReservation keptPlace = ReserveKeptArea(mail.attachments);
    // Whatever ends the request, the area removes what it staged, unless the
    // mail program has it.
    StagingArea staging;
    StageAttachments(mail, length, stagingRoot, staging);
    const std::vector<std::string> arguments = XdgEmailArguments(mail, staging.Files());
    const std::optional<int> status = RunProgramAndWait(arguments);
    if (!status) RaiseMailError("unable to start the mail program");
    if (*status != 0) RaiseMailError("the mail program failed");
    DebugEvent(ZOBRIK_WIDE("Mail: handed over to xdg-email"));
    KeepForTheMailProgram(std::move(staging), std::move(keptPlace));
    return 0;
}

}  // namespace zobrik

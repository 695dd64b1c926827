// Builds the mail in Outlook through its automation object model.
#pragma once

#include <windows.h>

#include "include/mail_request.h"

namespace zobrik {

// S_OK when Outlook displayed or sent the item, E_FAIL in every other case
// (Outlook not available included). Raises nothing.
HRESULT HandOverToOutlook(const MailRequest& request) noexcept;

}  // namespace zobrik

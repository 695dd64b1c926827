// The arguments of the Simple MAPI hand-over, built from a decoded request
// whose attachments are staged. Every string points into the request or its
// staging area, which must outlive this object, except the attachments'
// offered names, which this object holds.
#pragma once

#include <cstdint>
#include <vector>

#include "include/mail_request.h"
#include "include/simple_mapi_types.h"

namespace zobrik {

// The options of MAPISendMailW for the request's flags: always MAPI_DIALOG
// (so a mail without recipients is valid too); exactly MAIL_FLAG_OUTLOOK (the
// Outlook fall-back without further bits) lets the mail program log on with
// its user interface; MAIL_FLAG_IMMEDIATE opens the dialog without blocking;
// the HTML bit changes nothing.
uint32_t SimpleMapiOptions(uint32_t flags) noexcept;

class SimpleMapiMessage {
public:
    // A request without primary, copy or blind-copy recipients gets
    // nRecipCount 0 and lpRecips null (the user fills in the compose window).
    // Throws std::bad_alloc when memory runs out.
    explicit SimpleMapiMessage(const MailRequest& request);

    SimpleMapiMessage(const SimpleMapiMessage&) = delete;
    SimpleMapiMessage& operator=(const SimpleMapiMessage&) = delete;

    MapiMessageW* Message() noexcept { return &message_; }
    uint32_t Options() const noexcept { return options_; }

    // Every recipient of the request, originators first, in request order;
    // the message's recipient list starts after the originators.
    const std::vector<MapiRecipDescW>& Recipients() const noexcept { return recipients_; }
    // One per attachment; the file name offered to the mail program is the
    // staged file's clean name (OfferedFileName), null when the request gives
    // none.
    const std::vector<MapiFileDescW>& Files() const noexcept { return files_; }

private:
    MapiMessageW message_{};
    std::vector<MapiRecipDescW> recipients_;
    std::vector<MapiFileDescW> files_;
    std::vector<WideString> fileNames_;  // the attachments' offered names
    uint32_t options_ = 0;
};

}  // namespace zobrik

#include "simple_mapi_message.h"

#include "staged_file_names.h"

namespace zobrik {

namespace {

// Simple MAPI's structures take non-const strings but only read them.
WideChar* Borrowed(const WideChar* text) noexcept { return const_cast<WideChar*>(text); }

uint32_t RecipientClass(const MailRequest& request, uint32_t index) noexcept {
    if (index < request.OriginatorEnd()) {
        return MAPI_ORIG;
    }
    if (index < request.PrimaryEnd()) {
        return MAPI_TO;
    }
    if (index < request.CopyEnd()) {
        return MAPI_CC;
    }
    return MAPI_BCC;
}

constexpr uint32_t kNoPosition = 0xFFFFFFFF;

}  // namespace

uint32_t SimpleMapiOptions(uint32_t flags) noexcept {
    if (flags == MAIL_FLAG_OUTLOOK) {
        return MAPI_DIALOG | MAPI_LOGON_UI;
    }
    if (flags & MAIL_FLAG_IMMEDIATE) {
        return MAPI_DIALOG | MAPI_DIALOG_MODELESS;
    }
    return MAPI_DIALOG;
}

SimpleMapiMessage::SimpleMapiMessage(const MailRequest& request)
    : recipients_(request.recipients.size()), files_(request.attachments.size()) {
    message_.lpszSubject = Borrowed(request.subject);
    message_.lpszNoteText = Borrowed(request.body);
    message_.nRecipCount = request.toCount + request.ccCount + request.bccCount;
    message_.nFileCount = request.attachmentCount;

    for (uint32_t j = 0; j < recipients_.size(); ++j) {
        MapiRecipDescW& descriptor = recipients_[j];
        descriptor.ulRecipClass = RecipientClass(request, j);
        descriptor.lpszName = Borrowed(request.recipients[j].address);
        descriptor.lpszAddress = Borrowed(request.recipients[j].smtpAddress);
    }

    // The sender group names the originator; without it the from group does.
    if (request.fromCount != 0) {
        message_.lpOriginator = &recipients_.at(0);
    }
    if (request.senderCount != 0) {
        message_.lpOriginator = &recipients_.at(request.fromCount);
    }

    // A mail without any primary, copy or blind-copy recipient has no list:
    // the compose window, which every hand-over opens, lets the user fill in
    // the To line (Simple MAPI takes no recipients only with a dialog).
    if (message_.nRecipCount != 0) {
        message_.lpRecips = &recipients_.at(request.OriginatorEnd());
    }

    // The offered names are all in place before the descriptors point at
    // them: the vector does not grow afterwards, so its strings stay put.
    fileNames_.reserve(files_.size());
    for (const MailAttachment& attachment : request.attachments) {
        fileNames_.push_back(OfferedFileName(attachment));
    }
    for (uint32_t j = 0; j < files_.size(); ++j) {
        MapiFileDescW& descriptor = files_[j];
        descriptor.nPosition = kNoPosition;
        descriptor.lpszPathName = Borrowed(request.attachments[j].stagedPath);
        descriptor.lpszFileName = request.attachments[j].fileName ? fileNames_[j].data() : nullptr;
    }
    if (!files_.empty()) {
        message_.lpFiles = files_.data();
    }
    options_ = SimpleMapiOptions(request.flags);
}

}  // namespace zobrik

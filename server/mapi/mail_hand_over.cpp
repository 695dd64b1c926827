#include "server/mapi/mail_hand_over.h"

#include <string_view>
#include <utility>

#include "sdk/zobrik/client_calls.h"

namespace zobrik::mapi {

namespace {

// The plug-in's refusal texts and the Simple MAPI errors closest to them.
// Texts not listed (the plug-in's checks of a malformed request, which this
// provider never sends, "Outlook not available", "request timed out", a
// failed mail program) answer MAPI_E_FAILURE.
struct RefusalMapping {
    std::string_view text;
    uint32_t code;
};
constexpr RefusalMapping kRefusals[] = {
    // The client's limits on one request.
    {"request too large", kMapiAttachmentTooLarge},
    {"file too big", kMapiAttachmentTooLarge},
    // The client could not stage the attachments on its disk.
    {"not enough free disk space for the attachments", kMapiAttachmentWriteFailure},
    {"too many attachments kept for open compose windows", kMapiAttachmentWriteFailure},
    {"unable to create temporary directory", kMapiAttachmentWriteFailure},
    {"unable to create temporary file for directory", kMapiAttachmentWriteFailure},
    {"unable to delete temporary file for directory", kMapiAttachmentWriteFailure},
    {"unable to ensure temp directory exists", kMapiAttachmentWriteFailure},
    {"unable to create temp path var", kMapiAttachmentWriteFailure},
    {"unable to create temp file var", kMapiAttachmentWriteFailure},
    {"unable to create temp file name", kMapiAttachmentWriteFailure},
    {"unable to write temporary file", kMapiAttachmentWriteFailure},
    {"unable to write to temporary file", kMapiAttachmentWriteFailure},
    {"short write to temporary file", kMapiAttachmentWriteFailure},
    {"error closing temporary file", kMapiAttachmentWriteFailure},
    {"unable to mark temporary file", kMapiAttachmentWriteFailure},
    {"unable to read the free disk space", kMapiAttachmentWriteFailure},
    {"temp path too long", kMapiAttachmentWriteFailure},
    {"staging directory is not the user's own", kMapiAttachmentWriteFailure},
    {"staging directory is a link", kMapiAttachmentWriteFailure},
    // The Linux client's check of every address.
    {"invalid recipient address", kMapiUnknownRecipient},
};

// "too many records": the client's administrator allows fewer recipients or
// fewer attachments than this mail has, and the reply does not say which.
// Without attachments it is the recipients; otherwise the larger of the two
// counts is taken as the one that passed its limit.
uint32_t TooManyRecordsCode(size_t recipients, size_t attachments) {
    return attachments > recipients ? kMapiTooManyFiles : kMapiTooManyRecipients;
}

std::string Described(const AttachmentFile& file) {
    return file.systemError == 0 ? std::string() : " (system error " + std::to_string(file.systemError) + ")";
}

}  // namespace

Outcome AttachmentRefusal(size_t index, const ProgramAttachment& attachment, const AttachmentFile& file) {
    const std::string which = "attachment " + std::to_string(index + 1) + " (\"" + attachment.path + "\")";
    switch (file.kind) {
        case AttachmentFile::Kind::File:
            break;
        case AttachmentFile::Kind::Missing:
            return Refuse(kMapiAttachmentNotFound, which + " does not exist");
        case AttachmentFile::Kind::Folder:
            return Refuse(kMapiAttachmentOpenFailure, which + " is a folder, not a file");
        case AttachmentFile::Kind::Device:
            return Refuse(kMapiAttachmentOpenFailure, which + " is a device, not a file");
        case AttachmentFile::Kind::Unreadable:
            return Refuse(kMapiAttachmentOpenFailure, which + " cannot be opened for reading" + Described(file));
    }
    if (file.size > sdk::kPluginMaxMailRequestSize)
        return Refuse(kMapiAttachmentTooLarge, which + " has " + std::to_string(file.size) +
                                                   " bytes, more than the client's plug-in takes in one mail (" +
                                                   std::to_string(sdk::kPluginMaxMailRequestSize) + ")");
    return {};
}

bool AsksForModelessWindow(uint32_t mapiFlags) noexcept { return (mapiFlags & kMapiDialogModeless) != 0; }

Outcome MapReply(const sdk::MailReply& reply, size_t recipients, size_t attachments) {
    switch (reply.kind) {
        case sdk::MailReplyKind::Status:
            if (reply.HandedOver()) return {};
            return Refuse(kMapiFailure, "the client refused the mail: status " + std::to_string(reply.status));
        case sdk::MailReplyKind::ErrorText: {
            const std::string line = "the client refused the mail: " + reply.text;
            if (reply.message == "too many records") return Refuse(TooManyRecordsCode(recipients, attachments), line);
            for (const RefusalMapping& known : kRefusals)
                if (reply.message == known.text) return Refuse(known.code, line);
            return Refuse(kMapiFailure, line);
        }
        case sdk::MailReplyKind::ProtocolError:
            break;
    }
    return Refuse(kMapiFailure, "the client's answer is not a reply of the plug-in: " + reply.problem);
}

Outcome HandOver(ProgramMail mail, uint32_t mapiFlags, const AttachmentOpener& open,
                 sdk::ChannelTransport& openChannel) {
    sdk::MailMessage& message = mail.message;
    message.sendImmediately = AsksForModelessWindow(mapiFlags);
    // Every file is opened and checked before any is read.
    for (size_t i = 0; i < mail.attachments.size(); ++i) {
        AttachmentFile file = open(mail.attachments[i].path);
        Outcome refused = AttachmentRefusal(i, mail.attachments[i], file);
        if (!refused.Succeeded()) return refused;
        sdk::Attachment attachment;
        attachment.fileName = mail.attachments[i].fileName;
        attachment.fillSize = file.size;
        attachment.fill = std::move(file.fill);
        message.attachments.push_back(std::move(attachment));
    }
    const uint64_t size = sdk::MailRequestSize(message);
    if (size > sdk::kPluginMaxMailRequestSize)
        return Refuse(message.attachments.empty() ? kMapiTextTooLarge : kMapiAttachmentTooLarge,
                      "the mail would be " + std::to_string(size) + " bytes long, more than the client's plug-in " +
                          "takes (" + std::to_string(sdk::kPluginMaxMailRequestSize) + ")");
    const std::string problem = sdk::MailMessageProblem(message);
    if (!problem.empty()) {
        const bool tooMany = problem.find("recipients, more than") != std::string::npos;
        return Refuse(tooMany ? kMapiTooManyRecipients : kMapiFailure, "the mail cannot be sent: " + problem);
    }
    size_t recipients = 0;
    for (size_t g = 0; g < sdk::kRecipientGroupCount; ++g)
        recipients += message.Group(static_cast<sdk::RecipientGroup>(g)).size();
    const size_t attachments = message.attachments.size();

    std::vector<uint8_t> request;
    {
        // The message, and with it the files' handles, ends here: they
        // close before the long wait for the reply.
        sdk::MailMessage built = std::move(message);
        mail.attachments.clear();
        try {
            request = sdk::BuildMailRequest(std::move(built));
        } catch (const AttachmentReadError& e) {
            return Refuse(kMapiAttachmentOpenFailure, e.what());
        }
    }
    sdk::SendOptions options;
    options.timeout = sdk::kWaitForever;
    try {
        const sdk::MailReply reply = sdk::SendMailRequestOnOpenChannel(openChannel, std::move(request), options);
        return MapReply(reply, recipients, attachments);
    } catch (const sdk::ChannelError& e) {
        return Refuse(kMapiFailure, std::string("the channel to the client failed: ") + e.what());
    }
}

}  // namespace zobrik::mapi

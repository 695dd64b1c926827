// The hand-over of a program's mail to the client: each attachment file
// opened and checked, the request built with the files read straight into
// it, sent on the open "Zobrik/mail" channel, the reply waited for and
// mapped to the Simple MAPI result. Nothing goes on the channel before every
// check has passed and every file has been read.
//
// Platform-free: the files come through an AttachmentOpener, the channel is
// a ChannelTransport (wts_channel.h in the DLL, a fake in the tests).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sdk/zobrik/channel_transport.h"
#include "sdk/zobrik/mail_message.h"
#include "sdk/zobrik/replies.h"
#include "server/mapi/mapi_results.h"
#include "server/mapi/program_mail.h"

namespace zobrik::mapi {

// What the file system says about an attachment's path.
struct AttachmentFile {
    enum class Kind {
        File,        // a file on a disk, open for reading: `size` bytes, `fill` reads them
        Missing,     // no such file or folder
        Folder,      // a folder
        Device,      // a device, pipe or console, not a file on a disk
        Unreadable,  // there, but it cannot be opened for reading (`systemError`)
    };
    Kind kind = Kind::Missing;
    uint64_t size = 0;
    uint32_t systemError = 0;
    // Writes exactly `size` bytes of the file; throws AttachmentReadError
    // when the file cannot be read completely (it shrank, a read failed).
    sdk::AttachmentFill fill;
};

class AttachmentReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using AttachmentOpener = std::function<AttachmentFile(const std::string& utf8Path)>;

// The error for an attachment that cannot be sent as it is, or success.
// Empty files are sent: a program may well attach one (an empty export),
// and mail programs carry them.
Outcome AttachmentRefusal(size_t index, const ProgramAttachment& attachment, const AttachmentFile& file);

// MAPI_DIALOG_MODELESS asks for the client's modeless hand-over; every other
// call for its modal compose window (a program on the session host never
// sends silently in the user's name from the client).
bool AsksForModelessWindow(uint32_t mapiFlags) noexcept;

// The Simple MAPI result of the plug-in's reply to a mail with `recipients`
// recipients (all groups) and `attachments` attachments.
Outcome MapReply(const sdk::MailReply& reply, size_t recipients, size_t attachments);

// Hands `mail` to the client through `openChannel` (open on
// kMailChannelName) and returns the call's result. Waits for the reply
// without a time limit: a modal compose window answers when the user has
// sent or discarded the mail.
Outcome HandOver(ProgramMail mail, uint32_t mapiFlags, const AttachmentOpener& open,
                 sdk::ChannelTransport& openChannel);

}  // namespace zobrik::mapi

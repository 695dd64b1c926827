// Fuzz target: DecodeMailRequest on arbitrary bytes. Besides the sanitizers'
// checks it verifies the shape of every accepted request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "mail/mail_decoder.h"

namespace {

using zobrik::MailRequest;
using zobrik::WideChar;

void Check(bool condition) {
    if (!condition) std::abort();
}

// The string starts inside `text` and ends there with its terminator.
void CheckString(const MailRequest& mail, const WideChar* s) {
    const WideChar* begin = mail.text.get();
    const WideChar* end = begin + mail.textCapacity;
    Check(s != nullptr && s >= begin && s < end);
    while (*s != 0) {
        ++s;
        Check(s < end);
    }
}

void CheckAccepted(const MailRequest& mail, const uint8_t* request, size_t length) {
    const uint64_t groups = uint64_t(mail.fromCount) + mail.senderCount + mail.toCount + mail.ccCount + mail.bccCount;
    Check(groups == mail.recipientCount);
    Check(mail.recipients.size() == mail.recipientCount);
    Check(mail.attachments.size() == mail.attachmentCount);
    Check(mail.flags <= zobrik::MAIL_FLAGS_ALL);
    CheckString(mail, mail.subject);
    CheckString(mail, mail.body);
    for (const zobrik::MailRecipient& r : mail.recipients) {
        CheckString(mail, r.displayName);
        CheckString(mail, r.smtpAddress);
        Check(r.address == r.smtpAddress + 5);
        const WideChar prefix[] = {'S', 'M', 'T', 'P', ':'};
        Check(std::memcmp(r.smtpAddress, prefix, sizeof prefix) == 0);
    }
    for (const zobrik::MailAttachment& a : mail.attachments) {
        CheckString(mail, a.fileName);
        Check(a.stagedPath == nullptr);
        Check(a.size <= 0x7FFFFFFF);
        Check(a.data >= request && a.data < request + length);
        Check(a.size <= size_t(request + length - a.data));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFF) return 0;
    // The decoder writes into the request; give it a copy of exactly `size`
    // bytes so that any read past the end is caught.
    std::vector<uint8_t> request(data, data + size);
    try {
        MailRequest mail = zobrik::DecodeMailRequest(request.data(), uint32_t(size));
        CheckAccepted(mail, request.data(), size);
    } catch (const char*) {
        // a rejection: every message is a valid outcome
    } catch (const std::bad_alloc&) {
        // memory exhausted: reported as an error by the worker
    }
    return 0;
}

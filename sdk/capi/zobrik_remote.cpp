// zobrik_remote.dll: the C interface (zobrik_remote.h) over the header-only
// SDK. Every export catches everything: a failure becomes a status and the
// sentence of zobrik_last_error().
#define ZOBRIK_REMOTE_BUILDING
#include "zobrik_remote.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "zobrik/client_calls.h"
#include "zobrik/wts_channel.h"
#include "zobrik/zobrik.h"

namespace sdk = zobrik::sdk;

struct zobrik_mail {
    sdk::MailMessage message;
};
struct zobrik_request {
    std::vector<uint8_t> bytes;
};
struct zobrik_reply {
    sdk::MailReply reply;
    std::string description;
};

namespace {

// A bad argument of the caller.
class ArgumentError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The last failure of each thread. A fixed array: it needs no destructor at
// thread exit, which a DLL unloaded before its threads end could not run.
constexpr size_t kLastErrorCapacity = 1024;
thread_local char lastError[kLastErrorCapacity];

void SetLastErrorText(const char* text) noexcept {
    size_t length = std::strlen(text);
    if (length >= kLastErrorCapacity) {
        length = kLastErrorCapacity - 1;
        // Cut before a UTF-8 continuation byte, never inside a character.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(lastError, text, length);
    lastError[length] = '\0';
}

zobrik_status Failure(zobrik_status status, const char* text) noexcept {
    SetLastErrorText(text);
    return status;
}

zobrik_status FromChannelError(const sdk::ChannelError& e) noexcept {
    switch (e.Kind()) {
        case sdk::ChannelErrorKind::NotAvailable:
            return Failure(ZOBRIK_CHANNEL_NOT_AVAILABLE, e.what());
        case sdk::ChannelErrorKind::NoReply:
            return Failure(ZOBRIK_NO_REPLY, e.what());
        case sdk::ChannelErrorKind::TooLarge:
            return Failure(ZOBRIK_INVALID_MAIL, e.what());
        case sdk::ChannelErrorKind::NotOpen:
        case sdk::ChannelErrorKind::WriteFailed:
        case sdk::ChannelErrorKind::ReadFailed:
        case sdk::ChannelErrorKind::MalformedMessage:
            break;
    }
    return Failure(ZOBRIK_CHANNEL_FAILED, e.what());
}

// Runs the body of an export; every exception becomes a status.
template <typename Body>
zobrik_status Guarded(Body&& body) noexcept {
    try {
        SetLastErrorText("");
        return body();
    } catch (const sdk::ChannelError& e) {
        return FromChannelError(e);
    } catch (const sdk::RecipientError& e) {
        return Failure(ZOBRIK_BAD_ADDRESS, e.what());
    } catch (const sdk::FileReadError& e) {
        return Failure(ZOBRIK_FILE_ERROR, e.what());
    } catch (const sdk::MailRequestError& e) {
        return Failure(ZOBRIK_INVALID_MAIL, e.what());
    } catch (const ArgumentError& e) {
        return Failure(ZOBRIK_INVALID_ARGUMENT, e.what());
    } catch (const std::bad_alloc&) {
        return Failure(ZOBRIK_OUT_OF_MEMORY, "out of memory");
    } catch (const std::exception& e) {
        return Failure(ZOBRIK_INTERNAL_ERROR, e.what());
    } catch (...) {
        return Failure(ZOBRIK_INTERNAL_ERROR, "unexpected failure");
    }
}

// A required UTF-8 text argument.
std::string Text(const char* text, const char* what) {
    if (text == nullptr) throw ArgumentError(std::string(what) + " is NULL");
    std::string value(text);
    if (!sdk::IsValidUtf8(value)) throw ArgumentError(std::string(what) + " is not UTF-8 text");
    return value;
}

template <typename Object>
Object& Need(Object* object, const char* what) {
    if (object == nullptr) throw ArgumentError(std::string(what) + " is NULL");
    return *object;
}

std::chrono::milliseconds Wait(uint32_t timeoutMs) {
    return timeoutMs == ZOBRIK_WAIT_FOREVER ? sdk::kWaitForever : std::chrono::milliseconds(timeoutMs);
}

// A transport that a program installed through zobrik_set_transport.
class InstalledTransport : public sdk::ChannelTransport {
public:
    explicit InstalledTransport(const zobrik_transport& functions) : functions_(functions) {}
    ~InstalledTransport() override { Close(); }
    InstalledTransport(const InstalledTransport&) = delete;
    InstalledTransport& operator=(const InstalledTransport&) = delete;

    void Open(const std::string& name) override {
        Close();
        if (functions_.open(functions_.context, name.c_str()) != 0)
            throw sdk::ChannelError(sdk::ChannelErrorKind::NotAvailable,
                                    "the installed transport cannot open the channel \"" + name + "\"");
        open_ = true;
    }
    void Write(const uint8_t* data, size_t size) override {
        if (!open_) throw sdk::ChannelError(sdk::ChannelErrorKind::NotOpen, "the channel is not open");
        if (functions_.write(functions_.context, data, size) != 0)
            throw sdk::ChannelError(sdk::ChannelErrorKind::WriteFailed,
                                    "the installed transport did not take a message");
    }
    std::optional<std::vector<uint8_t>> Read(std::chrono::milliseconds timeout) override {
        if (!open_) throw sdk::ChannelError(sdk::ChannelErrorKind::NotOpen, "the channel is not open");
        const uint32_t ms = timeout == sdk::kWaitForever || timeout.count() >= ZOBRIK_WAIT_FOREVER
                                ? ZOBRIK_WAIT_FOREVER
                                : static_cast<uint32_t>(timeout.count());
        Delivery delivery;
        const int result = functions_.read(functions_.context, ms, &delivery, &Deliver);
        if (result == 1) return std::nullopt;
        if (result != 0 || !delivery.message || delivery.failed)
            throw sdk::ChannelError(sdk::ChannelErrorKind::ReadFailed, "the installed transport failed to read");
        return std::move(delivery.message);
    }
    void Close() noexcept override {
        if (open_) functions_.close(functions_.context);
        open_ = false;
    }

private:
    struct Delivery {
        std::optional<std::vector<uint8_t>> message;
        bool failed = false;
    };
    // Called back by the transport's read; must not let an exception through.
    static void Deliver(void* sink, const uint8_t* data, size_t size) noexcept {
        auto& delivery = *static_cast<Delivery*>(sink);
        try {
            if (delivery.message || (data == nullptr && size != 0)) {
                delivery.failed = true;
                return;
            }
            delivery.message.emplace(data, data + size);
        } catch (...) {
            delivery.failed = true;
        }
    }

    zobrik_transport functions_;
    bool open_ = false;
};

std::mutex transportLock;
std::optional<zobrik_transport> installedTransport;

// The transport of one call: the installed one, else the session's channels.
std::unique_ptr<sdk::ChannelTransport> MakeTransport() {
    std::lock_guard<std::mutex> lock(transportLock);
    if (installedTransport) return std::make_unique<InstalledTransport>(*installedTransport);
    return std::make_unique<sdk::WtsChannel>();
}

// Takes an object that the caller will free with its _free function.
template <typename Object>
Object* HandOver(std::unique_ptr<Object> object) {
    return object.release();
}

// Sends and answers; the caller has set `*reply` to NULL already.
zobrik_status SendAndAnswer(std::vector<uint8_t> request, uint32_t timeoutMs, zobrik_reply** reply) {
    sdk::SendOptions options;
    options.timeout = Wait(timeoutMs);
    auto answer = std::make_unique<zobrik_reply>();
    answer->reply = sdk::SendMailRequest(*MakeTransport(), std::move(request), options);
    answer->description = sdk::DescribeMailReply(answer->reply);
    zobrik_status status = ZOBRIK_OK;
    if (answer->reply.kind == sdk::MailReplyKind::ProtocolError) {
        status = Failure(ZOBRIK_PROTOCOL_ERROR, answer->description.c_str());
    } else if (!answer->reply.HandedOver()) {
        status = Failure(ZOBRIK_MAIL_REFUSED, answer->description.c_str());
    }
    if (reply != nullptr) *reply = HandOver(std::move(answer));
    return status;
}

}  // namespace

extern "C" {

uint32_t zobrik_api_version(void) { return ZOBRIK_REMOTE_API_VERSION; }

const char* zobrik_version(void) { return ZOBRIK_VERSION; }

const char* zobrik_status_name(zobrik_status status) {
    switch (status) {
        case ZOBRIK_OK:
            return "ZOBRIK_OK";
        case ZOBRIK_OPEN_FAILED:
            return "ZOBRIK_OPEN_FAILED";
        case ZOBRIK_MAIL_REFUSED:
            return "ZOBRIK_MAIL_REFUSED";
        case ZOBRIK_INVALID_ARGUMENT:
            return "ZOBRIK_INVALID_ARGUMENT";
        case ZOBRIK_BAD_ADDRESS:
            return "ZOBRIK_BAD_ADDRESS";
        case ZOBRIK_FILE_ERROR:
            return "ZOBRIK_FILE_ERROR";
        case ZOBRIK_INVALID_MAIL:
            return "ZOBRIK_INVALID_MAIL";
        case ZOBRIK_CHANNEL_NOT_AVAILABLE:
            return "ZOBRIK_CHANNEL_NOT_AVAILABLE";
        case ZOBRIK_CHANNEL_FAILED:
            return "ZOBRIK_CHANNEL_FAILED";
        case ZOBRIK_NO_REPLY:
            return "ZOBRIK_NO_REPLY";
        case ZOBRIK_PROTOCOL_ERROR:
            return "ZOBRIK_PROTOCOL_ERROR";
        case ZOBRIK_OUT_OF_MEMORY:
            return "ZOBRIK_OUT_OF_MEMORY";
        case ZOBRIK_INTERNAL_ERROR:
            return "ZOBRIK_INTERNAL_ERROR";
    }
    return "?";
}

const char* zobrik_last_error(void) { return lastError; }

zobrik_status zobrik_open(const char* text, uint32_t timeout_ms) {
    return Guarded([&] {
        const std::string target = Text(text, "the text");
        if (target.empty()) throw ArgumentError("the text is empty");
        const sdk::ExecReply reply =
            sdk::OpenOnClient(*MakeTransport(), sdk::ExecMessage(target, sdk::AnsiFormOf(target)), Wait(timeout_ms));
        switch (reply.outcome) {
            case sdk::ExecOutcome::Okay:
                return ZOBRIK_OK;
            case sdk::ExecOutcome::Failed:
                return Failure(ZOBRIK_OPEN_FAILED, "the client's shell could not open it");
            case sdk::ExecOutcome::ProtocolError:
                break;
        }
        return Failure(ZOBRIK_PROTOCOL_ERROR, ("not a reply of the plug-in: " + reply.problem).c_str());
    });
}

zobrik_status zobrik_mail_create(zobrik_mail** mail) {
    return Guarded([&] {
        Need(mail, "the mail pointer") = nullptr;
        *mail = HandOver(std::make_unique<zobrik_mail>());
        return ZOBRIK_OK;
    });
}

void zobrik_mail_free(zobrik_mail* mail) { std::unique_ptr<zobrik_mail> owned(mail); }

zobrik_status zobrik_mail_add_recipient(zobrik_mail* mail, zobrik_recipient_kind kind, const char* address) {
    return Guarded([&] {
        sdk::MailMessage& message = Need(mail, "the mail").message;
        std::vector<sdk::Recipient>* group = nullptr;
        switch (kind) {
            case ZOBRIK_TO:
                group = &message.to;
                break;
            case ZOBRIK_CC:
                group = &message.cc;
                break;
            case ZOBRIK_BCC:
                group = &message.bcc;
                break;
            case ZOBRIK_FROM:
                group = &message.from;
                break;
            case ZOBRIK_SENDER:
                group = &message.sender;
                break;
        }
        if (group == nullptr) throw ArgumentError("unknown recipient kind " + std::to_string(int(kind)));
        group->push_back(sdk::ParseRecipient(Text(address, "the address")));
        return ZOBRIK_OK;
    });
}

zobrik_status zobrik_mail_set_subject(zobrik_mail* mail, const char* subject) {
    return Guarded([&] {
        Need(mail, "the mail").message.subject = Text(subject, "the subject");
        return ZOBRIK_OK;
    });
}

zobrik_status zobrik_mail_set_body(zobrik_mail* mail, const char* body) {
    return Guarded([&] {
        Need(mail, "the mail").message.body = Text(body, "the body");
        return ZOBRIK_OK;
    });
}

zobrik_status zobrik_mail_set_options(zobrik_mail* mail, uint32_t options) {
    return Guarded([&] {
        sdk::MailMessage& message = Need(mail, "the mail").message;
        constexpr uint32_t known = ZOBRIK_MAIL_HTML_BODY | ZOBRIK_MAIL_PREFER_OUTLOOK | ZOBRIK_MAIL_SEND_NOW;
        if ((options & ~known) != 0) throw ArgumentError("unknown mail options " + std::to_string(options & ~known));
        message.htmlBody = (options & ZOBRIK_MAIL_HTML_BODY) != 0;
        message.preferOutlook = (options & ZOBRIK_MAIL_PREFER_OUTLOOK) != 0;
        message.sendImmediately = (options & ZOBRIK_MAIL_SEND_NOW) != 0;
        return ZOBRIK_OK;
    });
}

zobrik_status zobrik_mail_attach_file(zobrik_mail* mail, const char* path) {
    return Guarded([&] {
        sdk::MailMessage& message = Need(mail, "the mail").message;
        message.attachments.push_back(sdk::LoadAttachment(sdk::PathFromUtf8(Text(path, "the path"))));
        return ZOBRIK_OK;
    });
}

zobrik_status zobrik_mail_attach_data(zobrik_mail* mail, const char* name, const void* data, size_t size) {
    return Guarded([&] {
        sdk::MailMessage& message = Need(mail, "the mail").message;
        if (data == nullptr && size != 0) throw ArgumentError("the data is NULL");
        if (size > sdk::kMaxAttachmentSize) throw sdk::MailRequestError("an attachment has at most 2^31 - 1 bytes");
        sdk::Attachment attachment;
        attachment.fileName = Text(name, "the file name");
        const auto* bytes = static_cast<const uint8_t*>(data);
        attachment.data.assign(bytes, bytes + size);
        message.attachments.push_back(std::move(attachment));
        return ZOBRIK_OK;
    });
}

zobrik_status zobrik_mail_build(const zobrik_mail* mail, zobrik_request** request) {
    return Guarded([&] {
        Need(request, "the request pointer") = nullptr;
        auto built = std::make_unique<zobrik_request>();
        built->bytes = sdk::BuildMailRequest(Need(mail, "the mail").message);
        *request = HandOver(std::move(built));
        return ZOBRIK_OK;
    });
}

const uint8_t* zobrik_request_data(const zobrik_request* request) {
    return request != nullptr ? request->bytes.data() : nullptr;
}

size_t zobrik_request_size(const zobrik_request* request) { return request != nullptr ? request->bytes.size() : 0; }

void zobrik_request_free(zobrik_request* request) { std::unique_ptr<zobrik_request> owned(request); }

zobrik_status zobrik_send_request(const zobrik_request* request, uint32_t timeout_ms, zobrik_reply** reply) {
    return Guarded([&] {
        if (reply != nullptr) *reply = nullptr;
        return SendAndAnswer(Need(request, "the request").bytes, timeout_ms, reply);
    });
}

zobrik_status zobrik_mail_send(const zobrik_mail* mail, uint32_t timeout_ms, zobrik_reply** reply) {
    return Guarded([&] {
        if (reply != nullptr) *reply = nullptr;
        return SendAndAnswer(sdk::BuildMailRequest(Need(mail, "the mail").message), timeout_ms, reply);
    });
}

int zobrik_reply_handed_over(const zobrik_reply* reply) { return reply != nullptr && reply->reply.HandedOver(); }

int zobrik_reply_status(const zobrik_reply* reply) {
    return reply != nullptr && reply->reply.kind == sdk::MailReplyKind::Status ? reply->reply.status : -1;
}

const char* zobrik_reply_text(const zobrik_reply* reply) { return reply != nullptr ? reply->reply.text.c_str() : ""; }

const char* zobrik_reply_message(const zobrik_reply* reply) {
    return reply != nullptr ? reply->reply.message.c_str() : "";
}

const char* zobrik_reply_description(const zobrik_reply* reply) {
    return reply != nullptr ? reply->description.c_str() : "";
}

void zobrik_reply_free(zobrik_reply* reply) { std::unique_ptr<zobrik_reply> owned(reply); }

zobrik_status zobrik_set_transport(const zobrik_transport* transport) {
    return Guarded([&] {
        std::lock_guard<std::mutex> lock(transportLock);
        if (transport == nullptr) {
            installedTransport.reset();
            return ZOBRIK_OK;
        }
        if (transport->struct_size < sizeof(zobrik_transport))
            throw ArgumentError("the transport's struct_size is smaller than this version's");
        if (transport->open == nullptr || transport->write == nullptr || transport->read == nullptr ||
            transport->close == nullptr)
            throw ArgumentError("every function of the transport is needed");
        installedTransport = *transport;
        return ZOBRIK_OK;
    });
}

}  // extern "C"

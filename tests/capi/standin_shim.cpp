#include "standin_shim.h"

#include <cstring>
#include <exception>
#include <memory>

#include "client_standin.h"
#include "mapi_standin_client.h"
#include "standin_channel.h"

namespace {

// One stand-in transport for the whole test program: the plug-in stays
// loaded between channels, as in a Remote Desktop client.
zobrik::sdk::ChannelTransport& Channel() {
    static std::unique_ptr<zobrik::sdk::ChannelTransport> channel = zobrik::standin::MakeStandInChannel();
    return *channel;
}

int Open(void*, const char* name) noexcept {
    try {
        Channel().Open(name);
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

int Write(void*, const uint8_t* data, size_t size) noexcept {
    try {
        Channel().Write(data, size);
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

int Read(void*, uint32_t timeoutMs, void* sink, void (*deliver)(void*, const uint8_t*, size_t)) noexcept {
    try {
        const auto timeout =
            timeoutMs == ZOBRIK_WAIT_FOREVER ? zobrik::sdk::kWaitForever : std::chrono::milliseconds(timeoutMs);
        const auto message = Channel().Read(timeout);
        if (!message) return 1;
        deliver(sink, message->data(), message->size());
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

void Close(void*) noexcept { Channel().Close(); }

std::optional<zobrik::standin::RecordedMapiCall> Call(int index) {
    const zobrik::standin::MapiStandIn mapi = zobrik::standin::MapiStandIn::Find();
    if (!mapi.Valid() || index < 0) return std::nullopt;
    return mapi.Call(static_cast<ULONG>(index));
}

}  // namespace

extern "C" {

const zobrik_transport* standin_transport(void) {
    static const zobrik_transport transport = {sizeof(zobrik_transport), nullptr, Open, Write, Read, Close};
    return &transport;
}

int standin_mapi_reset(void) {
    const zobrik::standin::MapiStandIn mapi = zobrik::standin::MapiStandIn::Find();
    if (!mapi.Valid()) return 0;
    mapi.Reset();
    return 1;
}

int standin_mapi_call_count(void) {
    const zobrik::standin::MapiStandIn mapi = zobrik::standin::MapiStandIn::Find();
    return mapi.Valid() ? static_cast<int>(mapi.CallCount()) : -1;
}

int standin_mapi_subject(int call, char* buffer, size_t capacity) {
    const auto recorded = Call(call);
    if (!recorded || !recorded->subject || capacity == 0) return 0;
    const std::string subject = zobrik::standin::ToUtf8(*recorded->subject);
    if (subject.size() >= capacity) return 0;
    std::memcpy(buffer, subject.c_str(), subject.size() + 1);
    return 1;
}

int standin_mapi_file_count(int call) {
    const auto recorded = Call(call);
    return recorded ? static_cast<int>(recorded->files.size()) : -1;
}

int standin_mapi_file_equals(int call, int file, const char* name, const void* data, size_t size) {
    const auto recorded = Call(call);
    if (!recorded || file < 0 || static_cast<size_t>(file) >= recorded->files.size()) return 0;
    const zobrik::standin::RecordedFile& f = recorded->files[static_cast<size_t>(file)];
    const auto* bytes = static_cast<const uint8_t*>(data);
    return f.fileName && zobrik::standin::ToUtf8(*f.fileName) == name &&
           f.content == std::vector<uint8_t>(bytes, bytes + size);
}

}  // extern "C"

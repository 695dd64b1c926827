// The transport of the shipped zobrik-send: a dynamic virtual channel of the
// current Remote Desktop session, through wtsapi32.
#pragma once

#include "include/win_owners.h"
#include "transport.h"
#include "zobrik/channel_pdu.h"

namespace zobrik::send {

// Opens the channel with WTSVirtualChannelOpenEx(WTS_CURRENT_SESSION, name,
// WTS_CHANNEL_OPTION_DYNAMIC), takes its file handle from
// WTSVirtualChannelQuery(WTSVirtualFileHandle) and does overlapped ReadFile
// and WriteFile on it. Every read returns a CHANNEL_PDU_HEADER and one piece
// of a message; Read() joins the pieces. Not thread-safe: one caller at a time.
class WtsTransport : public Transport {
public:
    WtsTransport() = default;
    ~WtsTransport() override { Close(); }
    WtsTransport(const WtsTransport&) = delete;
    WtsTransport& operator=(const WtsTransport&) = delete;

    void Open(const std::string& name) override;
    void Write(const uint8_t* data, size_t size) override;
    std::optional<std::vector<uint8_t>> Read(std::chrono::milliseconds timeout) override;
    void Close() noexcept override;

private:
    std::string name_;
    zobrik::UniqueHandle file_;   // duplicate of the channel's file handle
    zobrik::UniqueHandle event_;  // manual-reset event of the overlapped calls
    sdk::ChannelMessageJoiner joiner_;
};

}  // namespace zobrik::send

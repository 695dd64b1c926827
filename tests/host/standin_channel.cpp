#include "standin_channel.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "client_standin.h"

namespace zobrik::standin {
namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return (n > 0 && n < MAX_PATH * 2) ? std::wstring(value, n) : std::wstring();
}

std::string Hex(HRESULT hr) {
    char text[16];
    wsprintfA(text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

class StandInTransport : public sdk::ChannelTransport {
public:
    void Open(const std::string& name) override {
        Close();
        if (!client_) {
            ClientOptions options;
            options.dllPath = Environment(L"ZOBRIK_SEND_DLL");
            auto client = std::make_unique<ClientStandIn>(options);
            if (client->Module() == nullptr) {
                throw sdk::ChannelError(sdk::ChannelErrorKind::NotAvailable,
                                        "the client stand-in cannot load " + ToUtf8(client->DllPath()) + " (error " +
                                            std::to_string(client->LoadError()) + ")");
            }
            const HRESULT hr = client->Start();
            if (hr != S_OK)
                throw sdk::ChannelError(sdk::ChannelErrorKind::NotAvailable,
                                        "the client stand-in could not start the plug-in (" + Hex(hr) + ")");
            client_ = std::move(client);
        }
        channel_ = client_->OpenChannel(name);
        if (!channel_)
            throw sdk::ChannelError(
                sdk::ChannelErrorKind::NotAvailable,
                "the channel \"" + name + "\" is not available: the plug-in has no listener for it");
        read_ = 0;
    }

    void Write(const uint8_t* data, size_t size) override {
        if (!channel_) throw sdk::ChannelError(sdk::ChannelErrorKind::NotOpen, "the channel is not open");
        const HRESULT hr = channel_->Send(data, size);
        if (hr != S_OK)
            throw sdk::ChannelError(sdk::ChannelErrorKind::WriteFailed,
                                    "the plug-in did not take a message (" + Hex(hr) + ")");
    }

    std::optional<std::vector<uint8_t>> Read(std::chrono::milliseconds timeout) override {
        if (!channel_) throw sdk::ChannelError(sdk::ChannelErrorKind::NotOpen, "the channel is not open");
        // Waits in slices: the stand-in adds the timeout to the current time,
        // which sdk::kWaitForever would overflow.
        constexpr std::chrono::milliseconds kSlice = std::chrono::hours(1);
        for (;;) {
            const auto wait = timeout == sdk::kWaitForever ? kSlice : std::min(timeout, kSlice);
            if (channel_->WaitForWrites(read_ + 1, wait)) return channel_->Writes()[read_++];
            if (timeout != sdk::kWaitForever) {
                timeout -= wait;
                if (timeout <= std::chrono::milliseconds::zero()) return std::nullopt;
            }
        }
    }

    void Close() noexcept override {
        if (channel_) channel_->CloseFromServer();
        channel_.reset();
    }

    ~StandInTransport() override { Close(); }

private:
    std::unique_ptr<ClientStandIn> client_;
    std::shared_ptr<StandInChannel> channel_;
    size_t read_ = 0;
};

}  // namespace

std::unique_ptr<sdk::ChannelTransport> MakeStandInChannel() { return std::make_unique<StandInTransport>(); }

}  // namespace zobrik::standin

// The channel transport of a remote application: one dynamic virtual channel,
// opened by name, that carries whole messages, and the typed error of every
// channel failure.
//
// Header-only, C++17 standard library only. wts_channel.h has the transport
// of a Remote Desktop session (Windows); tests and other environments put
// their own ChannelTransport in its place. client_calls.h sends requests over
// any ChannelTransport.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zobrik::sdk {

enum class ChannelErrorKind {
    NotAvailable,      // the channel cannot be opened: no Remote Desktop session, no plug-in, or switched off
    NotOpen,           // a write or read on a channel that is not open
    WriteFailed,       // the channel did not take a message
    ReadFailed,        // reading from the channel failed (the client went away, ...)
    MalformedMessage,  // the channel delivered pieces that do not join into a message
    NoReply,           // no reply came within the time limit
    TooLarge,          // a message larger than the channel can carry
};

// A channel failure; what() is a sentence for people, Kind() is for programs
// and SystemError() the operating system's error code (0 when there is none).
class ChannelError : public std::runtime_error {
public:
    ChannelError(ChannelErrorKind kind, const std::string& what, uint32_t systemError = 0)
        : std::runtime_error(what), kind_(kind), systemError_(systemError) {}

    ChannelErrorKind Kind() const noexcept { return kind_; }
    uint32_t SystemError() const noexcept { return systemError_; }

private:
    ChannelErrorKind kind_;
    uint32_t systemError_;
};

// Read() without a time limit.
inline constexpr std::chrono::milliseconds kWaitForever = std::chrono::milliseconds::max();

class ChannelTransport {
public:
    virtual ~ChannelTransport() = default;

    // Opens the channel `name` (kExecChannelName, kMailChannelName); closes
    // one that is open first. Throws ChannelError (NotAvailable).
    virtual void Open(const std::string& name) = 0;
    // Writes one message; the plug-in receives it as one message.
    virtual void Write(const uint8_t* data, size_t size) = 0;
    // The next message from the plug-in, or nullopt when none came within
    // `timeout` (kWaitForever: no limit).
    virtual std::optional<std::vector<uint8_t>> Read(std::chrono::milliseconds timeout) = 0;
    // Closes the channel; harmless when it is not open.
    virtual void Close() noexcept = 0;
};

// Opens a channel of `transport` for one exchange and closes it when the
// exchange ends, however it ends.
class ScopedChannel {
public:
    ScopedChannel(ChannelTransport& transport, const std::string& name) : transport_(transport) {
        transport_.Open(name);
    }
    ~ScopedChannel() { transport_.Close(); }
    ScopedChannel(const ScopedChannel&) = delete;
    ScopedChannel& operator=(const ScopedChannel&) = delete;

private:
    ChannelTransport& transport_;
};

}  // namespace zobrik::sdk

// The channel transport of zobrik-send: one dynamic virtual channel, opened by
// name, carrying whole messages. The real one talks to the Remote Desktop
// services (wts_transport.h); tests put other ones in its place.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zobrik::send {

// Raised by a transport when the channel cannot be opened or used; what() is
// a sentence for the user.
class TransportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Read() without a time limit.
inline constexpr std::chrono::milliseconds kWaitForever = std::chrono::milliseconds::max();

class Transport {
public:
    virtual ~Transport() = default;

    // Opens the channel `name` ("Zobrik/exec", "Zobrik/mail").
    virtual void Open(const std::string& name) = 0;
    // Writes one message; the plug-in receives it as one message.
    virtual void Write(const uint8_t* data, size_t size) = 0;
    // The next message from the plug-in, or nullopt when none came within
    // `timeout` (kWaitForever: no limit).
    virtual std::optional<std::vector<uint8_t>> Read(std::chrono::milliseconds timeout) = 0;
    // Closes the channel; harmless when it is not open.
    virtual void Close() noexcept = 0;
};

}  // namespace zobrik::send

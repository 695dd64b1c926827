// The 8-byte answer of the exec channel.
#pragma once

#include <array>
#include <cstdint>

namespace zobrik {

using ExecReply = std::array<uint8_t, 8>;

inline constexpr ExecReply kExecReplyOkay = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
inline constexpr ExecReply kExecReplyFailed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};

// The shell reports success with a value greater than 32; 32 or less,
// negative values included, is an error code.
constexpr const ExecReply& ExecReplyFor(intptr_t shellResult) noexcept {
    return shellResult > 32 ? kExecReplyOkay : kExecReplyFailed;
}

}  // namespace zobrik

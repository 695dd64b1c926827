// The named pipe between the stand-in wtsapi32.dll (programs "in the
// session") and the session host (tests/host/session_host.cpp), which plays
// the Remote Desktop client with the real plug-in.
//
// One pipe connection is one dynamic channel. The pipe is in message mode:
//   1. the session side writes the channel name (its bytes, no NUL);
//   2. the host answers kChannelAccepted or kChannelRefused (no listener, or
//      the plug-in's policy has the channel off) and, on refusal, disconnects;
//   3. then every message the session side writes is one channel message,
//      handed to the plug-in as one OnDataReceived;
//   4. every message the plug-in writes comes back as pieces, one pipe
//      message each: a CHANNEL_PDU_HEADER (length of the whole message,
//      CHANNEL_FLAG_FIRST on the first piece, CHANNEL_FLAG_LAST on the last)
//      and at most kChannelChunkLength bytes, just as a ReadFile on a real
//      dynamic channel's file handle returns them;
//   5. closing the pipe on either side closes the channel.
//
// Header-only, C++17 standard library only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace zobrik::session {

// The environment variable that names the pipe (\\.\pipe\...). Without it a
// program is not in a session: WTSVirtualChannelOpenEx fails.
inline constexpr wchar_t kPipeVariable[] = L"ZOBRIK_SESSION_PIPE";

inline constexpr std::string_view kChannelAccepted = "accepted";
inline constexpr std::string_view kChannelRefused = "refused";

// The most data bytes a read of a virtual channel returns after its header
// (CHANNEL_CHUNK_LENGTH of <pchannel.h>).
inline constexpr size_t kChannelChunkLength = 1600;
inline constexpr size_t kPieceHeaderSize = 8;
inline constexpr uint32_t kFlagFirst = 0x01;
inline constexpr uint32_t kFlagLast = 0x02;

// Channels the host serves itself, for tests of the transport: "echo" sends
// every message back; opening "exit" ends the host at once, without closing
// any channel, as a client that goes away.
inline constexpr std::string_view kEchoChannel = "ZobrikSessionHost/echo";
inline constexpr std::string_view kExitChannel = "ZobrikSessionHost/exit";

// The pieces of one message as the session side reads them: an empty
// message is one piece with both flags and no data.
inline std::vector<std::vector<uint8_t>> SplitIntoPieces(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> pieces;
    const auto total = static_cast<uint32_t>(size);
    size_t offset = 0;
    do {
        const size_t take = std::min(kChannelChunkLength, size - offset);
        uint32_t flags = 0;
        if (offset == 0) flags |= kFlagFirst;
        if (offset + take == size) flags |= kFlagLast;
        std::vector<uint8_t> piece(kPieceHeaderSize + take);
        for (int i = 0; i < 4; ++i) {
            piece[i] = static_cast<uint8_t>(total >> (8 * i));
            piece[4 + i] = static_cast<uint8_t>(flags >> (8 * i));
        }
        std::copy(data + offset, data + offset + take, piece.begin() + kPieceHeaderSize);
        pieces.push_back(std::move(piece));
        offset += take;
    } while (offset < size);
    return pieces;
}

}  // namespace zobrik::session

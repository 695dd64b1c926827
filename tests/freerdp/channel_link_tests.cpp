// The channel link the add-in's workers answer through, against a recording
// FreeRDP channel: a message is written only while the channel is open, and
// never an empty one, which FreeRDP 3 takes as the client closing the
// channel.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "freerdp/channel_link.h"

namespace zobrik {
namespace {

// A FreeRDP channel that records what is written to it.
struct RecordingChannel {
    IWTSVirtualChannel iface{};  // first: FreeRDP calls back with its address
    std::vector<std::string> written;
    int closes = 0;

    RecordingChannel() {
        iface.Write = &RecordingChannel::Write;
        iface.Close = &RecordingChannel::Close;
    }

    static RecordingChannel& Of(IWTSVirtualChannel* channel) { return *reinterpret_cast<RecordingChannel*>(channel); }
    static UINT Write(IWTSVirtualChannel* channel, ULONG size, const BYTE* data, void*) {
        Of(channel).written.emplace_back(reinterpret_cast<const char*>(data), size);
        return CHANNEL_RC_OK;
    }
    static UINT Close(IWTSVirtualChannel* channel) {
        ++Of(channel).closes;
        return CHANNEL_RC_OK;
    }
};

struct WriteCase {
    const char* what;
    std::string message;
    bool closedFirst;
    bool written;
};

// Test names and failures show the case by its name.
void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.what; }

class ChannelLinkWrites : public testing::TestWithParam<WriteCase> {};

TEST_P(ChannelLinkWrites, WritesOnlyNonEmptyMessagesWhileOpen) {
    const WriteCase& c = GetParam();
    RecordingChannel channel;
    ChannelLink link(&channel.iface);
    if (c.closedFirst) link.Close();

    EXPECT_EQ(link.WriteIfOpen(c.message.data(), c.message.size()), c.written);
    EXPECT_EQ(link.IsOpen(), !c.closedFirst);
    const std::vector<std::string> expected =
        c.written ? std::vector<std::string>{c.message} : std::vector<std::string>{};
    EXPECT_EQ(channel.written, expected);
    // The link never closes FreeRDP's channel itself.
    EXPECT_EQ(channel.closes, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChannelLinkWrites,
                         testing::Values(WriteCase{"status_byte", std::string(1, '\0'), false, true},
                                         WriteCase{"exec_reply", "\x01\x00\x00\x00\x00\x00\x00\x00", false, true},
                                         WriteCase{"error_text", "Exception: char const *   x", false, true},
                                         WriteCase{"empty_message", "", false, false},
                                         WriteCase{"after_close", "\x01\x00\x00\x00\x00\x00\x00\x00", true, false},
                                         WriteCase{"empty_after_close", "", true, false}),
                         [](const testing::TestParamInfo<WriteCase>& param) { return std::string(param.param.what); });

TEST(ChannelLinkWrites, KeepsEachMessageWholeAndInOrder) {
    RecordingChannel channel;
    ChannelLink link(&channel.iface);
    const std::string first(70000, 'a');  // longer than one channel chunk
    ASSERT_TRUE(link.WriteIfOpen(first.data(), first.size()));
    ASSERT_TRUE(link.WriteIfOpen("b", 1));
    EXPECT_EQ(channel.written, (std::vector<std::string>{first, "b"}));
}

}  // namespace
}  // namespace zobrik

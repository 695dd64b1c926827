// Replies racing the client's OnClose: no Write may reach a channel after
// its OnClose has returned (the client frees the channel then).
#include <thread>

#include <gtest/gtest.h>

#include "test_support.h"

namespace zobrik::testing {
namespace {

TEST(MapiPresentChannelRace, ExecRepliesNeverFollowOnClose) {
    auto client = StartedClient();
    std::vector<std::shared_ptr<standin::StandInChannel>> channels;
    for (int i = 0; i < 200; ++i) {
        auto channel = client->OpenChannel("Zobrik/exec");
        ASSERT_NE(channel, nullptr);
        ASSERT_EQ(channel->Send(std::string("C:\\no\\such\\program-zobrik.exe")), S_OK);
        // Close at varying moments relative to the worker's reply.
        if (i % 3 == 1) {
            std::this_thread::yield();
        } else if (i % 3 == 2) {
            Sleep(1);
        }
        ASSERT_EQ(channel->CloseFromServer(), S_OK);
        channels.push_back(channel);
    }
    Sleep(1500);
    size_t replied = 0;
    for (auto& channel : channels) {
        EXPECT_EQ(channel->WritesAfterClose(), 0u);
        EXPECT_LE(channel->Writes().size(), 1u);
        replied += channel->Writes().size();
    }
    std::printf("exec channels closed while replying: %zu of %zu answered before close\n", replied, channels.size());
}

TEST(MapiPresentChannelRace, MailRepliesNeverFollowOnClose) {
    auto client = StartedClient();
    auto request = MinimalMailRequest(66, 1);
    std::vector<std::shared_ptr<standin::StandInChannel>> channels;
    for (int i = 0; i < 200; ++i) {
        auto channel = client->OpenChannel("Zobrik/mail");
        ASSERT_NE(channel, nullptr);
        ASSERT_EQ(channel->Send(request), S_OK);
        if (i % 2) {
            std::this_thread::yield();
        }
        ASSERT_EQ(channel->CloseFromServer(), S_OK);
        channels.push_back(channel);
    }
    Sleep(1500);
    for (auto& channel : channels) {
        EXPECT_EQ(channel->WritesAfterClose(), 0u);
        EXPECT_LE(channel->Writes().size(), 1u);
    }
}

}  // namespace
}  // namespace zobrik::testing

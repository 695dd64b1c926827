// Tests of the Remote Desktop client stand-in itself, against a small fake
// plug-in (test_plugin_fake.dll), for the faults that would make the plug-in
// tests lie: lost or mangled debugger output, chunks that do not add up to the
// bytes sent, late writes that go unnoticed, listener failures that leak.
#include <thread>

#include <gtest/gtest.h>

#include "client_standin.h"

namespace {

using namespace std::chrono_literals;
using zobrik::standin::ClientOptions;
using zobrik::standin::ClientStandIn;
using zobrik::standin::DebugCapture;
using zobrik::standin::StandInChannel;

ClientOptions FakeOptions() {
    ClientOptions options;
    options.dllPath = zobrik::standin::ExecutableDirectory() + L"test_plugin_fake.dll";
    return options;
}

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return bytes;
}

// What the capture must hold for a wide output: exact on a system that raises
// the wide exception, else the text after the round trip through the ANSI code page.
std::string ExpectedForWide(const std::wstring& text) {
    if (DebugCapture::WideCount() > 0) {
        return zobrik::standin::ToUtf8(text);
    }
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    std::wstring back(static_cast<size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, back.data(), wideSize);
    back.resize(back.size() - 1);
    return zobrik::standin::ToUtf8(back);
}

TEST(DebugCapture, StoresEachOutputOnceAsUtf8) {
    DebugCapture::Install();
    DebugCapture::Install();  // idempotent: a second handler would store twice
    DebugCapture::Clear();
    const std::wstring wide = L"Zobrik Gr\u00fc\u00dfe \u00e9\u00e8 test\n";
    OutputDebugStringA("plain narrow line\n");
    OutputDebugStringW(wide.c_str());
    OutputDebugStringW(L"");
    const auto lines = DebugCapture::Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "plain narrow line\n");
    EXPECT_EQ(lines[1], ExpectedForWide(wide));
    EXPECT_EQ(lines[2], "");
    // With a Western or UTF-8 ANSI code page the text survives exactly, so it
    // must arrive converted to UTF-8, not as raw code page bytes.
    const UINT acp = GetACP();
    if (acp == 1252 || acp == CP_UTF8 || DebugCapture::WideCount() > 0) {
        EXPECT_EQ(lines[1],
                  "Zobrik Gr\xc3\xbc\xc3\x9f"
                  "e \xc3\xa9\xc3\xa8 test\n");
    }
    std::printf("ANSI code page %u; outputs by DBG_PRINTEXCEPTION_C: %zu, by DBG_PRINTEXCEPTION_WIDE_C: %zu\n", acp,
                DebugCapture::NarrowCount(), DebugCapture::WideCount());
}

TEST(DebugCapture, WaitForSeesOutputOfOtherThreads) {
    DebugCapture::Install();
    DebugCapture::Clear();
    EXPECT_FALSE(DebugCapture::WaitFor("never written\n", 1, 50ms));
    std::thread writer([] {
        std::this_thread::sleep_for(50ms);
        for (int i = 0; i < 3; ++i) {
            OutputDebugStringW(L"from another thread\n");
        }
    });
    EXPECT_TRUE(DebugCapture::WaitFor("from another thread\n", 3, 5s));
    writer.join();
    EXPECT_EQ(DebugCapture::Count("from another thread\n"), 3u);
}

class FakeClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(client_.Module(), nullptr) << "test_plugin_fake.dll, error " << client_.LoadError();
        ASSERT_EQ(client_.Start(), S_OK);
        channel_ = client_.OpenChannel("Fake/echo");
        ASSERT_NE(channel_, nullptr);
    }

    ClientStandIn client_{FakeOptions()};
    std::shared_ptr<StandInChannel> channel_;
};

TEST_F(FakeClient, ChunksBySizeListDeliverExactBytes) {
    const auto bytes = Pattern(300);
    ASSERT_EQ(channel_->SendChunks(bytes, std::vector<size_t>{0, 1, 7, 100}), S_OK);
    const auto writes = channel_->Writes();  // the fake echoes every message
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_TRUE(writes[0].empty());
    EXPECT_EQ(writes[1], std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1));
    EXPECT_EQ(writes[2], std::vector<uint8_t>(bytes.begin() + 1, bytes.begin() + 8));
    EXPECT_EQ(writes[3], std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 108));
    EXPECT_EQ(writes[4], std::vector<uint8_t>(bytes.begin() + 108, bytes.end()));
    EXPECT_EQ(channel_->SendChunks(bytes, std::vector<size_t>{200, 101}), E_INVALIDARG);
    EXPECT_EQ(channel_->Writes().size(), 5u);  // nothing sent for a bad size list
}

TEST_F(FakeClient, ChunksOfFixedSizeDeliverExactBytes) {
    const auto bytes = Pattern(300);
    ASSERT_EQ(channel_->SendChunks(bytes, 128), S_OK);
    const auto writes = channel_->Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].size(), 128u);
    EXPECT_EQ(writes[1].size(), 128u);
    EXPECT_EQ(writes[2].size(), 44u);
    std::vector<uint8_t> joined;
    for (const auto& write : writes) {
        joined.insert(joined.end(), write.begin(), write.end());
    }
    EXPECT_EQ(joined, bytes);
    EXPECT_EQ(channel_->SendChunks(bytes, 0), E_INVALIDARG);
}

TEST_F(FakeClient, WriteAfterCloseIsCountedNotRecorded) {
    ASSERT_EQ(channel_->Send(std::string("later:300")), S_OK);
    DebugCapture::Clear();
    ASSERT_EQ(channel_->CloseFromServer(), S_OK);
    EXPECT_EQ(DebugCapture::Count("fake: OnClose\n"), 1u);
    EXPECT_TRUE(channel_->Closed());
    EXPECT_EQ(channel_->Callback(), nullptr);
    for (int i = 0; i < 100 && channel_->WritesAfterClose() == 0; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(channel_->WritesAfterClose(), 1u);
    EXPECT_TRUE(channel_->Writes().empty());
    EXPECT_EQ(channel_->Send(std::string("x")), E_UNEXPECTED);
    EXPECT_EQ(channel_->CloseFromServer(), S_FALSE);
}

TEST_F(FakeClient, WriteBeforeCloseIsRecorded) {
    ASSERT_EQ(channel_->Send(std::string("later:0")), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, 5s));
    ASSERT_EQ(channel_->CloseFromServer(), S_OK);
    EXPECT_EQ(channel_->Writes(), (std::vector<std::vector<uint8_t>>{{'l', 'a', 't', 'e'}}));
    EXPECT_EQ(channel_->WritesAfterClose(), 0u);
}

TEST_F(FakeClient, HeldWritesWaitInsideWriteUntilReleased) {
    channel_->HoldWrites();
    ASSERT_EQ(channel_->Send(std::string("later:0")), S_OK);
    ASSERT_TRUE(channel_->WaitForHeldWrites(1, 5s));
    EXPECT_TRUE(channel_->Writes().empty()) << "recorded only once released";
    channel_->ReleaseWrites();
    ASSERT_TRUE(channel_->WaitForWrites(1, 5s));
    EXPECT_EQ(channel_->Writes(), (std::vector<std::vector<uint8_t>>{{'l', 'a', 't', 'e'}}));
    ASSERT_EQ(channel_->Send(std::string("x")), S_OK);
    EXPECT_EQ(channel_->Writes().size(), 2u) << "no longer held";
}

TEST_F(FakeClient, RejectedChannelGivesNoChannel) {
    BSTR data = SysAllocString(L"reject");
    EXPECT_EQ(client_.OpenChannel("Fake/echo", data), nullptr);
    SysFreeString(data);
    EXPECT_TRUE(client_.LastOpenResult().hadListener);
    EXPECT_EQ(client_.LastOpenResult().result, S_OK);
    EXPECT_FALSE(client_.LastOpenResult().accepted);
    EXPECT_EQ(client_.OpenChannel("Zobrik/none"), nullptr);
    EXPECT_FALSE(client_.LastOpenResult().hadListener);
}

TEST(ClientStandIn, FailedCreateListenerLeavesOutPointerAndRegistersNothing) {
    ClientStandIn client(FakeOptions());
    ASSERT_NE(client.Module(), nullptr);
    client.Manager().FailCreateListener("Fake/echo", E_ACCESSDENIED);
    DebugCapture::Clear();
    EXPECT_EQ(client.Start(), E_ACCESSDENIED);
    EXPECT_EQ(client.InitializeResult(), E_ACCESSDENIED);
    EXPECT_EQ(client.ConnectedResult(), E_PENDING);  // not called after a failed Initialize
    EXPECT_EQ(DebugCapture::Count("fake: listener untouched\n"), 1u);
    const auto listeners = client.Manager().Listeners();
    ASSERT_EQ(listeners.size(), 1u);
    EXPECT_EQ(listeners[0].name, "Fake/echo");
    EXPECT_EQ(listeners[0].flags, 0u);
    EXPECT_EQ(listeners[0].result, E_ACCESSDENIED);
    EXPECT_EQ(client.Manager().ListenerFor("Fake/echo"), nullptr);
    EXPECT_EQ(client.OpenChannel("Fake/echo"), nullptr);
}

TEST(ClientStandIn, MissingDllFailsStart) {
    ClientOptions options;
    options.dllPath = zobrik::standin::ExecutableDirectory() + L"no_such_plugin.dll";
    ClientStandIn client(options);
    EXPECT_EQ(client.Module(), nullptr);
    EXPECT_NE(client.LoadError(), 0u);
    EXPECT_EQ(client.Start(), E_FAIL);
    EXPECT_EQ(client.Stop(), E_UNEXPECTED);
}

TEST(HexDump, FormatsBytes) {
    EXPECT_EQ(zobrik::standin::HexDump({}), "");
    EXPECT_EQ(zobrik::standin::HexDump({0x00, 0x1f, 0xff}), "00 1f ff");
}

}  // namespace

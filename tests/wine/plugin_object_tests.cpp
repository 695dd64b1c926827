// The plug-in object, the listeners and the channel callbacks: results,
// debugger lines, and the uncounted COM objects.
#include <gtest/gtest.h>

#include "test_support.h"

namespace zobrik::testing {
namespace {

using standin::ClientStandIn;
using standin::DebugCapture;

std::string Line(const char* event) { return std::string("Zobrik WTS DVC plugin: ") + event + "\n"; }

void* const kUntouched = reinterpret_cast<void*>(uintptr_t(0x5a5a5a5a));
const GUID kArbitraryIid = {0x0badf00d, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};

// QueryInterface answers E_NOTIMPL for every interface and leaves the out
// pointer as it was; AddRef and Release count nothing.
template <class Interface>
void ExpectUncounted(Interface* object) {
    ASSERT_NE(object, nullptr);
    for (const GUID* iid : {&IID_IUnknown, &kArbitraryIid}) {
        void* out = kUntouched;
        EXPECT_EQ(object->QueryInterface(*iid, &out), E_NOTIMPL);
        EXPECT_EQ(out, kUntouched);
    }
    EXPECT_EQ(object->AddRef(), 0u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(object->Release(), 0u);
}

TEST(MapiPresentPlugin, StartUpRegistersExecThenMailListenerWithFlagsZero) {
    DebugCapture::Install();
    DebugCapture::Clear();
    auto client = StartedClient();
    auto listeners = client->Manager().Listeners();
    ASSERT_EQ(listeners.size(), 2u);
    EXPECT_EQ(listeners[0].name, "Zobrik/exec");
    EXPECT_EQ(listeners[1].name, "Zobrik/mail");
    EXPECT_EQ(listeners[0].flags, 0u);
    EXPECT_EQ(listeners[1].flags, 0u);
    EXPECT_NE(listeners[0].callback, listeners[1].callback);
    EXPECT_EQ(client->InitializeResult(), S_OK);
    EXPECT_EQ(DebugCapture::Count(Line("Initialize")), 1u);
    EXPECT_EQ(DebugCapture::Count(Line("Connected")), 1u);
}

TEST(MapiPresentPlugin, MethodsGiveTheirResultsAndWriteTheirLines) {
    auto client = StartedClient();
    IWTSPlugin* plugin = client->Plugin();
    DebugCapture::Clear();
    void* out = kUntouched;
    EXPECT_EQ(plugin->QueryInterface(IID_IUnknown, &out), E_NOTIMPL);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(plugin->AddRef(), 0u);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(plugin->Connected(), S_OK);
    EXPECT_EQ(plugin->Disconnected(0x1234), S_OK);
    EXPECT_EQ(plugin->Terminated(), E_NOTIMPL);
    EXPECT_EQ(DebugCapture::Lines(),
              (std::vector<std::string>{Line("QueryInterface"), Line("AddRef"), Line("Release"), Line("Connected"),
                                        Line("Disconnected"), Line("Terminated")}));
}

TEST(MapiPresentPlugin, StaysUsableAfterManyReleases) {
    auto client = StartedClient();
    IWTSPlugin* plugin = client->Plugin();
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(plugin->Release(), 0u);
    }
    EXPECT_EQ(plugin->Connected(), S_OK);
    auto channel = client->OpenChannel("Zobrik/exec");
    EXPECT_NE(channel, nullptr);
}

TEST(MapiPresentPlugin, ListenersAndCallbacksCountNoReferences) {
    auto client = StartedClient();
    ExpectUncounted(client->Manager().ListenerFor("Zobrik/exec"));
    ExpectUncounted(client->Manager().ListenerFor("Zobrik/mail"));
    DebugCapture::Clear();
    ExpectUncounted(client->OpenChannel("Zobrik/exec")->Callback());
    ExpectUncounted(client->OpenChannel("Zobrik/mail")->Callback());
    EXPECT_EQ(DebugCapture::Count(Line("QueryInterface")), 0u) << "only the plug-in writes lines for these";
}

TEST(MapiPresentPlugin, FailingExecListenerDoesNotReachTheClient) {
    standin::ClientStandIn client(ClientOptionsFromEnvironment());
    client.Manager().FailCreateListener("Zobrik/exec", E_ACCESSDENIED);
    EXPECT_EQ(client.Start(), S_OK);
    EXPECT_EQ(client.InitializeResult(), S_OK);
    EXPECT_EQ(client.OpenChannel("Zobrik/exec"), nullptr);
    EXPECT_NE(client.OpenChannel("Zobrik/mail"), nullptr);
}

TEST(MapiPresentPlugin, FailingMailListenerIsInitializesResult) {
    standin::ClientStandIn client(ClientOptionsFromEnvironment());
    client.Manager().FailCreateListener("Zobrik/mail", E_ACCESSDENIED);
    client.Start();
    EXPECT_EQ(client.InitializeResult(), E_ACCESSDENIED);
    EXPECT_NE(client.OpenChannel("Zobrik/exec"), nullptr);
}

TEST(MapiPresentPlugin, EveryChannelIsAcceptedWhateverItsConnectionData) {
    auto client = StartedClient();
    DebugCapture::Clear();
    BSTR empty = SysAllocString(L"");
    BSTR data = SysAllocString(L"some connection data");
    EXPECT_NE(client->OpenChannel("Zobrik/exec", nullptr), nullptr);
    EXPECT_NE(client->OpenChannel("Zobrik/exec", empty), nullptr);
    EXPECT_NE(client->OpenChannel("Zobrik/mail", data), nullptr);
    EXPECT_EQ(client->LastOpenResult().result, S_OK);
    EXPECT_TRUE(client->LastOpenResult().accepted);
    SysFreeString(empty);
    SysFreeString(data);
    EXPECT_EQ(DebugCapture::Count(Line("NewChannelConnection for Exec")), 2u);
    EXPECT_EQ(DebugCapture::Count(Line("NewChannelConnection for Mail")), 1u);
}

TEST(MapiPresentPlugin, ListenerRejectsNullOutPointersInsteadOfCrashing) {
    auto client = StartedClient();
    IWTSListenerCallback* listener = client->Manager().ListenerFor("Zobrik/mail");
    IWTSVirtualChannelCallback* callback = nullptr;
    BOOL accept = FALSE;
    EXPECT_EQ(listener->OnNewChannelConnection(nullptr, nullptr, nullptr, &callback), E_POINTER);
    EXPECT_EQ(listener->OnNewChannelConnection(nullptr, nullptr, &accept, nullptr), E_POINTER);
}

TEST(MapiPresentPlugin, CloseWritesItsLineOnBothChannels) {
    auto client = StartedClient();
    auto exec = client->OpenChannel("Zobrik/exec");
    auto mail = client->OpenChannel("Zobrik/mail");
    DebugCapture::Clear();
    EXPECT_EQ(exec->CloseFromServer(), S_OK);
    EXPECT_EQ(mail->CloseFromServer(), S_OK);
    EXPECT_EQ(DebugCapture::Lines(), (std::vector<std::string>{Line("OnClose"), Line("Mail: OnClose")}));
}

}  // namespace
}  // namespace zobrik::testing

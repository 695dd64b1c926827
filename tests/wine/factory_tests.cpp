// The module's exports and its plug-in factory, with Simple MAPI present,
// absent, and present without MAPISendMailW.
#include <gtest/gtest.h>

#include "test_support.h"

namespace zobrik::testing {
namespace {

using standin::ClientStandIn;
using standin::DebugCapture;

constexpr char kFactoryLine[] = "VirtualChannelGetInstance\n";
IWTSPlugin* const kUntouched = reinterpret_cast<IWTSPlugin*>(uintptr_t(0x5a5a5a5a));

TEST(MapiPresentFactory, CountOnlyCallSetsTheCountToOne) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    DebugCapture::Clear();
    ULONG count = 0;
    EXPECT_EQ(client.GetInstance(IID_IUnknown, &count, nullptr), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(DebugCapture::Count(kFactoryLine), 1u);
}

TEST(MapiPresentFactory, NullCountIsInvalidWhateverTheOtherArguments) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    IWTSPlugin* objects[1] = {kUntouched};
    EXPECT_EQ(client.GetInstance(IID_IUnknown, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(client.GetInstance(IID_IUnknown, nullptr, objects), E_INVALIDARG);
    EXPECT_EQ(objects[0], kUntouched);
}

TEST(MapiPresentFactory, ArrayWithCountZeroIsInvalid) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    ULONG count = 0;
    IWTSPlugin* objects[1] = {kUntouched};
    EXPECT_EQ(client.GetInstance(IID_IUnknown, &count, objects), E_INVALIDARG);
    EXPECT_EQ(objects[0], kUntouched);
    EXPECT_EQ(count, 0u);
}

TEST(MapiPresentFactory, EveryCallWithAnArrayCreatesAnotherPlugin) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    ULONG count = 1;
    IWTSPlugin* first = nullptr;
    IWTSPlugin* second = nullptr;
    ASSERT_EQ(client.GetInstance(IID_IUnknown, &count, &first), S_OK);
    ASSERT_EQ(client.GetInstance(IID_IUnknown, &count, &second), S_OK);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(count, 1u);
}

TEST(MapiPresentFactory, InterfaceIdIsNotExamined) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    const GUID arbitrary = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    ULONG count = 1;
    IWTSPlugin* plugin = nullptr;
    EXPECT_EQ(client.GetInstance(arbitrary, &count, &plugin), S_OK);
    EXPECT_NE(plugin, nullptr);
}

TEST(MapiPresentFactory, RegistrationExportsDoNothingAndSucceed) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    using NoArgs = HRESULT(STDAPICALLTYPE*)();
    using Install = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    auto reg = reinterpret_cast<NoArgs>(reinterpret_cast<void*>(GetProcAddress(client.Module(), "DllRegisterServer")));
    auto unreg =
        reinterpret_cast<NoArgs>(reinterpret_cast<void*>(GetProcAddress(client.Module(), "DllUnregisterServer")));
    auto install = reinterpret_cast<Install>(reinterpret_cast<void*>(GetProcAddress(client.Module(), "DllInstall")));
    ASSERT_TRUE(reg && unreg && install);
    EXPECT_EQ(reg(), S_OK);
    EXPECT_EQ(unreg(), S_OK);
    EXPECT_EQ(install(TRUE, L"anything"), S_OK);
    EXPECT_EQ(install(FALSE, nullptr), S_OK);
}

TEST(MapiAbsentFactory, NoPluginAndTheCallersCountStays) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    ULONG count = 7;
    EXPECT_EQ(client.GetInstance(IID_IUnknown, &count, nullptr), S_OK);
    EXPECT_EQ(count, 7u);
    count = 1;
    IWTSPlugin* objects[1] = {kUntouched};
    EXPECT_EQ(client.GetInstance(IID_IUnknown, &count, objects), S_OK);
    EXPECT_EQ(objects[0], kUntouched);
    EXPECT_EQ(count, 1u);
}

TEST(MapiAbsentFactory, ClientGetsNoPluginAndNoChannels) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    EXPECT_EQ(client.Start(), S_FALSE);
    EXPECT_EQ(client.Plugin(), nullptr);
    EXPECT_EQ(client.OpenChannel("Zobrik/mail"), nullptr);
}

TEST(MapiAbsentFactory, NullCountAndZeroCountWithArrayStayInvalid) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    ULONG count = 0;
    IWTSPlugin* objects[1] = {kUntouched};
    EXPECT_EQ(client.GetInstance(IID_IUnknown, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(client.GetInstance(IID_IUnknown, &count, objects), E_INVALIDARG);
}

TEST(MapiNoSendFactory, LibraryIsReleasedAndLoadedAnewAtTheNextCall) {
    ClientStandIn client(ClientOptionsFromEnvironment());
    DebugCapture::Clear();
    const std::string attached = "MAPI32 stand-in (no MAPISendMailW) attached\n";
    const std::string detached = "MAPI32 stand-in (no MAPISendMailW) detached\n";

    ULONG count = 3;
    EXPECT_EQ(client.GetInstance(IID_IUnknown, &count, nullptr), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(DebugCapture::Count(attached), 1u);
    EXPECT_EQ(DebugCapture::Count(detached), 1u);
    EXPECT_EQ(GetModuleHandleW(L"MAPI32"), nullptr) << "the library must be released again";

    EXPECT_EQ(client.GetInstance(IID_IUnknown, &count, nullptr), S_OK);
    EXPECT_EQ(DebugCapture::Count(attached), 2u) << "a failed binding is tried again from the start";
    EXPECT_EQ(DebugCapture::Count(detached), 2u);
    EXPECT_EQ(count, 3u);
}

// Runs alone in its process: the loader lines appear once per load.
TEST(Lifecycle, LoadAndUnloadWriteTheirLines) {
    DebugCapture::Install();
    DebugCapture::Clear();
    ClientStandIn client(ClientOptionsFromEnvironment());
    ASSERT_NE(client.Module(), nullptr);
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin loaded\n"), 1u);
    ASSERT_EQ(client.Start(), S_OK);
    EXPECT_EQ(client.Stop(), E_NOTIMPL);
    client.Unload();
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin unloading\n"), 1u);
}

}  // namespace
}  // namespace zobrik::testing

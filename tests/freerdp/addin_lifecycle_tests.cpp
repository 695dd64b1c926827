// The add-in as FreeRDP starts and ends it, loaded from its shared library:
// the idle sweep's thread runs while a plug-in object is initialized and is
// gone once the last one has been terminated, however often a plug-in
// object was initialized.
#include <dirent.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>

#include <freerdp/dvc.h>
#include <gtest/gtest.h>

namespace {

// FreeRDP's channel manager: every listener is accepted.
struct AcceptingManager {
    IWTSVirtualChannelManager iface{};  // first: the add-in calls back with its address

    AcceptingManager() { iface.CreateListener = &AcceptingManager::CreateListener; }
    static UINT CreateListener(IWTSVirtualChannelManager*, const char*, ULONG, IWTSListenerCallback*, IWTSListener**) {
        return CHANNEL_RC_OK;
    }
};

// FreeRDP's entry points: keeps the plug-in object the add-in registers.
struct RecordingEntryPoints {
    IDRDYNVC_ENTRY_POINTS iface{};  // first, as above
    IWTSPlugin* plugin = nullptr;

    RecordingEntryPoints() { iface.RegisterPlugin = &RecordingEntryPoints::RegisterPlugin; }
    static UINT RegisterPlugin(IDRDYNVC_ENTRY_POINTS* points, const char*, IWTSPlugin* plugin) {
        reinterpret_cast<RecordingEntryPoints*>(points)->plugin = plugin;
        return CHANNEL_RC_OK;
    }
};

using PluginEntry = UINT (*)(IDRDYNVC_ENTRY_POINTS*);

size_t ThreadCount() {
    size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    return count;
}

// Waits up to two seconds for the process to have `count` threads: a joined
// thread may stay listed for a moment after it ended.
bool ThreadCountBecomes(size_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (ThreadCount() != count && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ThreadCount() == count;
}

// The policy files, the staging folder and nothing else of the user's.
void UseEmptyHome() {
    char folder[] = "/tmp/zobrik-addin-lifecycle-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("HOME", folder, 1);
    setenv("XDG_CONFIG_HOME", folder, 1);
    setenv("XDG_RUNTIME_DIR", folder, 1);
}

TEST(AddinLifecycle, IdleSweepEndsWithTheLastPluginHoweverOftenItWasInitialized) {
    UseEmptyHome();
    // FreeRDP never unloads an add-in; neither does the test.
    void* module = dlopen(ZOBRIK_ADDIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto entry = reinterpret_cast<PluginEntry>(dlsym(module, "DVCPluginEntry"));
    ASSERT_NE(entry, nullptr);
    const size_t before = ThreadCount();
    AcceptingManager manager;
    for (int connection = 1; connection <= 2; ++connection) {
        SCOPED_TRACE("connection " + std::to_string(connection));
        RecordingEntryPoints points;
        ASSERT_EQ(entry(&points.iface), CHANNEL_RC_OK);
        ASSERT_NE(points.plugin, nullptr);
        for (int call = 0; call < 2; ++call) {
            EXPECT_EQ(points.plugin->Initialize(points.plugin, &manager.iface), CHANNEL_RC_OK);
        }
        EXPECT_TRUE(ThreadCountBecomes(before + 1)) << "the idle sweep runs";
        EXPECT_EQ(points.plugin->Terminated(points.plugin), CHANNEL_RC_OK);
        EXPECT_TRUE(ThreadCountBecomes(before)) << "the idle sweep ended with the plug-in";
    }
}

}  // namespace

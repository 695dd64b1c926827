// The add-in as FreeRDP starts and ends it, loaded from its shared library:
// the idle sweep's thread runs while a plug-in object is initialized and is
// gone once the last one has been terminated, however often a plug-in
// object was initialized; a failure inside it reaches FreeRDP as its code.
#include <dirent.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include <freerdp/dvc.h>
#include <gtest/gtest.h>

namespace {

// FreeRDP's channel manager: every listener is accepted, the last one kept.
struct AcceptingManager {
    IWTSVirtualChannelManager iface{};  // first: the add-in calls back with its address
    IWTSListenerCallback* listener = nullptr;

    AcceptingManager() { iface.CreateListener = &AcceptingManager::CreateListener; }
    static UINT CreateListener(IWTSVirtualChannelManager* manager, const char*, ULONG, IWTSListenerCallback* listener,
                               IWTSListener**) {
        reinterpret_cast<AcceptingManager*>(manager)->listener = listener;
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

// FreeRDP's entry points, failing in a way the add-in cannot foresee.
struct ThrowingEntryPoints {
    IDRDYNVC_ENTRY_POINTS iface{};  // first, as above

    ThrowingEntryPoints() { iface.RegisterPlugin = &ThrowingEntryPoints::RegisterPlugin; }
    static UINT RegisterPlugin(IDRDYNVC_ENTRY_POINTS*, const char*, IWTSPlugin*) {
        throw std::runtime_error("registration failed");
    }
};

// While set, every allocation of the process (the add-in's too: it takes
// operator new from the program) fails, as when the client runs out of memory.
std::atomic<bool> allocationsFail{false};

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

// The add-in's entry point, its library loaded as FreeRDP loads it; nullptr
// when it cannot be loaded. FreeRDP never unloads an add-in; neither do the
// tests.
PluginEntry LoadedAddinEntry() {
    void* module = dlopen(ZOBRIK_ADDIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        ADD_FAILURE() << dlerror();
        return nullptr;
    }
    return reinterpret_cast<PluginEntry>(dlsym(module, "DVCPluginEntry"));
}

TEST(AddinLifecycle, IdleSweepEndsWithTheLastPluginHoweverOftenItWasInitialized) {
    UseEmptyHome();
    const PluginEntry entry = LoadedAddinEntry();
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

// A failure inside the add-in's entry point never leaves it: FreeRDP gets
// CHANNEL_RC_NO_MEMORY when memory ran out, ERROR_INTERNAL_ERROR otherwise.
TEST(AddinLifecycle, FailuresInTheEntryPointReachFreeRdpAsTheirCode) {
    UseEmptyHome();
    const PluginEntry entry = LoadedAddinEntry();
    ASSERT_NE(entry, nullptr);
    RecordingEntryPoints points;
    allocationsFail = true;
    const UINT outOfMemory = entry(&points.iface);
    allocationsFail = false;
    EXPECT_EQ(outOfMemory, UINT(CHANNEL_RC_NO_MEMORY));
    EXPECT_EQ(points.plugin, nullptr);
    ThrowingEntryPoints throwing;
    EXPECT_EQ(entry(&throwing.iface), UINT(ERROR_INTERNAL_ERROR));
}

// A channel the add-in cannot take (out of memory) is refused, not accepted
// without a callback.
TEST(AddinLifecycle, AChannelThatCannotBeTakenIsRefused) {
    UseEmptyHome();
    const PluginEntry entry = LoadedAddinEntry();
    ASSERT_NE(entry, nullptr);
    RecordingEntryPoints points;
    ASSERT_EQ(entry(&points.iface), CHANNEL_RC_OK);
    AcceptingManager manager;
    ASSERT_EQ(points.plugin->Initialize(points.plugin, &manager.iface), CHANNEL_RC_OK);
    ASSERT_NE(manager.listener, nullptr);
    IWTSVirtualChannel channel{};
    BOOL accept = TRUE;
    IWTSVirtualChannelCallback* callback = nullptr;
    allocationsFail = true;
    const UINT result =
        manager.listener->OnNewChannelConnection(manager.listener, &channel, nullptr, &accept, &callback);
    allocationsFail = false;
    EXPECT_EQ(result, UINT(CHANNEL_RC_NO_MEMORY));
    EXPECT_FALSE(accept);
    EXPECT_EQ(callback, nullptr);
    EXPECT_EQ(points.plugin->Terminated(points.plugin), CHANNEL_RC_OK);
}

}  // namespace

void* operator new(std::size_t size) {
    if (allocationsFail.load()) throw std::bad_alloc();
    if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

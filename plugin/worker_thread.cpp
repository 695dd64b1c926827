#include "worker_thread.h"

#include <windows.h>

#include <memory>

namespace zobrik {

namespace {

struct WorkerStart {
    std::function<void()> work;
    HMODULE module = nullptr;
};

DWORD WINAPI WorkerMain(void* parameter) {
    HMODULE module = nullptr;
    {
        std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
        module = start->module;
        try {
            start->work();
        } catch (...) {
            // A worker's failure concerns its request only.
        }
    }
    FreeLibraryAndExitThread(module, 0);
}

}  // namespace

bool StartDetachedWorker(std::function<void()> work) noexcept {
    try {
        auto start = std::make_unique<WorkerStart>();
        start->work = std::move(work);
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                reinterpret_cast<LPCWSTR>(&StartDetachedWorker), &start->module)) {
            return false;
        }
        HMODULE module = start->module;
        HANDLE thread = CreateThread(nullptr, 0, WorkerMain, start.get(), 0, nullptr);
        if (!thread) {
            FreeLibrary(module);
            return false;
        }
        start.release();  // the thread owns it now
        CloseHandle(thread);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace zobrik

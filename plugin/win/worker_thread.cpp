#include "worker_thread.h"

#include <windows.h>

#include "include/win/owners.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zobrik {

namespace {

HMODULE ThisModule() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

void Work(PTP_CALLBACK_INSTANCE instance, void* workers) noexcept {
    // The reference taken in StartWorker goes once this callback has
    // returned to the pool, after the last instruction of this module.
    FreeLibraryWhenCallbackReturns(instance, ThisModule());
    static_cast<BoundedWorkers*>(workers)->Work();
}

void CALLBACK ShortWorker(PTP_CALLBACK_INSTANCE instance, void* workers) { Work(instance, workers); }

void CALLBACK LongWorker(PTP_CALLBACK_INSTANCE instance, void* workers) {
    CallbackMayRunLong(instance);
    Work(instance, workers);
}

}  // namespace

bool PoolWorkerStarter::StartWorker(BoundedWorkers& workers) noexcept {
    // A reference on this module for the worker, given back by the pool
    // after the callback (or here, when the callback cannot be submitted).
    UniqueModule pin;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ShortWorker),
                            pin.Put())) {
        return false;
    }
    PTP_SIMPLE_CALLBACK callback = duration_ == Duration::MayRunLong ? LongWorker : ShortWorker;
    if (!TrySubmitThreadpoolCallback(callback, &workers, nullptr)) {
        return false;
    }
    pin.Release();
    return true;
}

}  // namespace zobrik

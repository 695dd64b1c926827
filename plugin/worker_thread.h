// Starts the worker of one request on a thread of its own, detached at once.
#pragma once

#include <functional>

namespace zobrik {

// Runs `work` on a new detached thread; returns false (and destroys `work`)
// when the thread cannot be started. No exception leaves the thread. While
// the thread runs it holds a reference on this module, so the client can
// unload the plug-in while a mail dialog is still open without the thread's
// code disappearing under it.
bool StartDetachedWorker(std::function<void()> work) noexcept;

}  // namespace zobrik

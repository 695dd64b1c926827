// Workers on the process's thread pool. A worker holds a reference on this
// module while it runs, and the pool drops it only after the worker has
// returned, so the client can unload the plug-in while a mail dialog is still
// open without the worker's code disappearing under it. A pool thread that
// waits for work runs no code of this module and holds no reference on it.
#pragma once

#include "plugin/bounded_workers.h"

namespace zobrik {

class PoolWorkerStarter final : public WorkerStarter {
public:
    // Workers that may block for as long as a user keeps a window open are
    // announced to the pool as such, so it keeps threads for other work.
    enum class Duration { Short, MayRunLong };

    explicit constexpr PoolWorkerStarter(Duration duration) noexcept : duration_(duration) {}

    // Submits one pool callback that runs workers.Work(); no exception
    // leaves it.
    bool StartWorker(BoundedWorkers& workers) noexcept override;

private:
    const Duration duration_;
};

}  // namespace zobrik

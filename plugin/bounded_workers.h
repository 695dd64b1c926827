// Admission of requests to a bounded number of workers. At most `workers`
// requests are served at once; further requests wait in arrival order, at
// most `waiting` of them; a request beyond that is refused at once. Workers
// are started on demand and serve waiting requests until none is left, so a
// burst of requests is served by the same few workers. The platform starts
// the workers (WorkerStarter); the decisions are made here.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

namespace zobrik {

// One request, as the workers see it.
class WorkRequest {
public:
    virtual ~WorkRequest() = default;

    // Serves the request on a worker and answers it.
    virtual void Run() noexcept = 0;
    // Answers the request without serving it; on the submitting thread.
    virtual void Refuse() noexcept = 0;
    // The request has to wait for a worker to become free: it takes what
    // waiting costs it (such as its share of a memory budget) and gives it
    // back in Run or when destroyed. False refuses it. Called under the
    // workers' lock: it must be quick and must not submit.
    virtual bool PrepareToWait() noexcept { return true; }
};

using WorkRequestPtr = std::unique_ptr<WorkRequest>;

class BoundedWorkers;

// Starts one worker, which calls workers.Work() on a thread of its own.
class WorkerStarter {
public:
    // False when no worker could be started (Work is then not called).
    virtual bool StartWorker(BoundedWorkers& workers) noexcept = 0;

protected:
    ~WorkerStarter() = default;
};

class BoundedWorkers {
public:
    struct Limits {
        size_t workers;  // requests served at once, at least 1
        size_t waiting;  // requests waiting for a worker
    };

    enum class Admission {
        Served,   // a worker serves it as soon as it has started
        Waiting,  // it waits for a worker to become free
        Refused,  // answered with Refuse: as many requests wait as may, or it could not wait
        // The worker started for it could not be started. A worker still
        // running serves it; when none is left, it and every waiting request
        // are answered with Refuse.
        NotStarted,
    };

    BoundedWorkers(Limits limits, WorkerStarter& starter) noexcept;
    BoundedWorkers(const BoundedWorkers&) = delete;
    BoundedWorkers& operator=(const BoundedWorkers&) = delete;

    // Takes one request. Refusals are answered on the calling thread, after
    // the decision and outside the lock.
    Admission Submit(WorkRequestPtr request) noexcept;

    // The body of a worker: serves the oldest waiting request, then the
    // next, and returns when none is left. The worker's last access to this
    // object is the release of the lock under which it was counted out.
    void Work() noexcept;

    // Observations for diagnostics and tests.
    size_t Workers() const;  // started and not yet finished
    size_t Serving() const;  // of these, the ones serving a request
    size_t Waiting() const;  // requests not yet taken by a worker

private:
    // Answers the waiting requests while no worker is left to serve them.
    void RefuseStranded() noexcept;

    const Limits limits_;
    WorkerStarter& starter_;
    mutable std::mutex mutex_;
    std::deque<WorkRequestPtr> waiting_;
    size_t workers_ = 0;
    size_t serving_ = 0;
};

}  // namespace zobrik

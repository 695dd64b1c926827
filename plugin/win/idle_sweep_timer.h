// The module's one timer that ends mail requests which stopped arriving
// halfway (idle_mail_requests.h): a thread-pool timer, no thread per
// channel. It starts with the first mail channel and stops at unload.
#pragma once

#include <memory>

#include "plugin/idle_mail_requests.h"

namespace zobrik {

// Watches the channel's request until it goes. Throws std::bad_alloc.
void WatchForIdleness(const std::shared_ptr<WatchedMailRequest>& request);

// At unload: stops the timer and waits for a sweep in progress, so none runs
// once the module's code is gone. When the process ends (`processEnding`),
// the pool's threads are gone already.
void StopIdleSweep(bool processEnding) noexcept;

}  // namespace zobrik

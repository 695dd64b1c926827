// The add-in's one thread that ends mail requests which stopped arriving
// halfway (plugin/idle_mail_requests.h), for all channels of all plug-in
// objects: it runs from the first Initialize to the last Terminated.
#pragma once

#include <memory>

#include "plugin/idle_mail_requests.h"

namespace zobrik {

// The time the sweep and the channels share: milliseconds on a monotonic
// clock.
uint64_t IdleClockNow() noexcept;

// Watches the channel's request until it goes. Throws std::bad_alloc.
void WatchForIdleness(const std::shared_ptr<WatchedMailRequest>& request);

// A plug-in object starts to use the sweep, or has ended (the thread is
// joined when the last one ends, so it never outlives the add-in's code).
void StartIdleSweep();
void StopIdleSweep() noexcept;

}  // namespace zobrik

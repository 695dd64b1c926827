// What one server may ask of the plug-in: the limits on requests, buffers
// and workers, in one place. Each is answered with a reply of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zobrik {

// The largest mail request. The largest messages that common mail services
// accept are 150 MB (Exchange Online; others take 20 to 50 MB), which after
// base64 encoding is about 112 MB of attachments; 128 MiB covers that. A
// request that announces more is answered "request too large" after its
// first chunk, and the rest of it is dropped unbuffered.
inline constexpr uint64_t kMaxMailRequestSize = uint64_t(128) << 20;

// Records per mail request, answered "too many records": large mail
// services limit a message to 500 or 1,000 recipients, and a mail with more
// than a few hundred attachments is no mail a person composes.
inline constexpr uint32_t kMaxMailRecipients = 1000;
inline constexpr uint32_t kMaxMailAttachments = 250;

// The bytes that all mail channels of one plug-in may hold in their request
// buffers, and complete requests while they wait for a mail worker, at once:
// four requests of the largest size. A request that would pass it is
// answered "too many requests at once" and dropped.
inline constexpr uint64_t kMailBufferBudget = 4 * kMaxMailRequestSize;

// The error text of a mail request that would pass the budget, or that finds
// as many others waiting for a mail worker as may wait.
inline constexpr char kMailRequestsBusy[] = "too many requests at once";

// Requests served at once. The workers belong to the module, which the
// client loads once per process for its one plug-in; exec and mail have
// workers of their own, so open compose windows never hold up an exec.
// Exec: eight opens that hang on an unreachable share leave none for the
// rest, and eight is more than a desktop starts usefully at the same moment.
inline constexpr size_t kMaxExecWorkers = 8;
// Mail: a worker is held for as long as its compose window stays open, and
// four open windows are more than a user works on at once.
inline constexpr size_t kMaxMailWorkers = 4;

// Requests that wait, in arrival order, for a worker to become free; the
// next one is answered at once: "failed" on exec, "too many requests at
// once" on mail.
// Exec: a server that opens a batch (the files of a folder) sends a few
// dozen at once; 64 waiting texts of at most 32 KiB each are 2 MiB.
inline constexpr size_t kMaxWaitingExecRequests = 64;
// Mail: sixteen mails queued behind four open windows is already more than
// a user gets through; what they hold is taken from kMailBufferBudget.
inline constexpr size_t kMaxWaitingMailRequests = 16;

// A request buffer commits memory by doubling, by at most this much at a
// time, so that it never holds much more than what has arrived.
inline constexpr uint64_t kMaxBufferGrowthStep = uint64_t(16) << 20;

// A mail request that has begun to arrive and then receives nothing for this
// long is ended: answered "request timed out", its buffer and its share of
// kMailBufferBudget released. A server that stops halfway would otherwise
// hold its bytes until the channel closes. Chunks of a request follow each
// other within milliseconds even on a slow link, and a server whose link
// stalls for minutes has lost its connection; two minutes is far beyond
// that and still ends a stalled request before the user gives up on it.
inline constexpr uint64_t kMailRequestIdleMinutes = 2;
inline constexpr uint64_t kMailRequestIdleMilliseconds = kMailRequestIdleMinutes * 60 * 1000;
inline constexpr char kMailRequestTimedOut[] = "request timed out";
// The administrator may shorten the idle time (seconds), never lengthen it,
// and not below a few seconds, which a busy client still bridges between
// two chunks.
inline constexpr uint32_t kMailRequestIdleSeconds = uint32_t(kMailRequestIdleMilliseconds / 1000);
inline constexpr uint32_t kShortestMailRequestIdleSeconds = 5;
// How often the unfinished requests are looked at: a quarter of the idle
// time, from 1 to 15 seconds, so a stalled request ends at most that much
// after its idle time has passed (the default: 15 s after 2 minutes; the
// shortest: 1.25 s after 5 s).
inline constexpr uint64_t kIdleRequestSweepMilliseconds = uint64_t(15) * 1000;
inline constexpr uint64_t kShortestIdleSweepMilliseconds = 1000;
inline constexpr uint64_t IdleSweepMilliseconds(uint64_t idleMilliseconds) noexcept {
    const uint64_t quarter = idleMilliseconds / 4;
    return quarter < kShortestIdleSweepMilliseconds  ? kShortestIdleSweepMilliseconds
           : quarter > kIdleRequestSweepMilliseconds ? kIdleRequestSweepMilliseconds
                                                     : quarter;
}

// Attachments kept after a hand-over for a compose window that may still
// read them (for up to an hour; when the window closes is never known).
// Four of the largest requests, or 32 mails: more windows than a user works
// on at once, and staging areas of an hour ago that were long sent. A mail
// that would pass either is refused before it is handed over, "too many
// attachments kept for open compose windows"; kept areas are never removed
// early to make room, since a window still open would then send its mail
// without the attachments, or fail, long after its request was answered.
inline constexpr uint64_t kMaxKeptStagingBytes = 4 * kMaxMailRequestSize;
inline constexpr uint32_t kMaxKeptStagingAreas = 32;

// A decoded string goes to the debugger output cut to this many characters.
inline constexpr size_t kTracedStringLength = 1024;

}  // namespace zobrik

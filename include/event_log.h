// Events for the administrator: refusals, ignored policy values and failed
// hand-overs, written to the Windows event log (Application log, source
// "ZobrikWTSDVC", texts in the DLL's message table). What is written, its
// insertion strings and how many per minute are decided here, free of
// platform headers; the platform writes a record (WriteEventRecord).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "wide_text.h"

namespace zobrik {

// Event identifiers: the message ids of common/win/event_messages.mc.
enum class EventId : uint32_t {
    ExecRefusedByRule = 100,
    ExecRefusedByPolicy = 101,
    MailRefused = 200,
    PolicyValueIgnored = 300,
    HandOverFailed = 400,
    EventsSuppressed = 900,
};

// Categories: message ids 1-3 of the same table.
enum class EventCategory : uint16_t { Exec = 1, Mail = 2, Policy = 3 };

// The event log's types (EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE).
enum class EventType : uint16_t { Error = 1, Warning = 2 };

// What the rate limit counts separately: a flood of one kind never hides
// another.
enum class EventKind : size_t { ExecRefusal, MailRefusal, PolicyValue, HandOver, Count };

struct EventRecord {
    EventId id;
    EventType type;
    EventCategory category;
    EventKind kind;
    std::vector<WideString> inserts;  // sanitised, in the order %1, %2, ...
};

// The longest insertion string in characters (with the "…" that marks a cut).
inline constexpr size_t kLongestEventInsert = 256;

// `text` fit for an insertion string: control, format and direction-changing
// characters and unpaired surrogates become U+FFFD, '%' becomes U+FF05 (so
// that no insert reads as "%1" or "%%1234" to a viewer that expands inserts
// a second time), and a text longer than `longest` is cut (never inside a
// surrogate pair) and ends in "…".
WideString SanitisedInsert(WideStringView text, size_t longest = kLongestEventInsert);

// The events. `reason` is the debugger line's reason ("(policy X)" at the
// end when a policy setting refused); `text` the server's exec text.
EventRecord ExecRefusedEvent(WideStringView reason, WideStringView text);
EventRecord MailRefusedEvent(WideStringView replyText);
EventRecord PolicyValueIgnoredEvent(WideStringView hive, WideStringView setting, WideStringView why);
// `route`: "the shell", "Outlook", "Simple MAPI"; `error`: what it answered.
EventRecord HandOverFailedEvent(WideStringView route, WideStringView error);
EventRecord EventsSuppressedEvent(EventKind kind, uint64_t suppressed);

// At most kEventBurst events of a kind at once, and kEventBurst a minute
// over time (a token bucket per kind). Events over the limit are counted;
// the next one written of that kind is preceded by one summary event with
// the count. Time comes from the caller, in milliseconds of a steady clock.
inline constexpr uint32_t kEventBurst = 10;
inline constexpr uint64_t kEventRefillMilliseconds = 60'000 / kEventBurst;

class EventRateLimiter {
public:
    // The records to write for `record` at `nowMs`: none (suppressed), the
    // record, or a summary and the record.
    std::vector<EventRecord> Admit(EventRecord record, uint64_t nowMs);

private:
    struct Bucket {
        bool started = false;
        uint32_t tokens = kEventBurst;
        uint64_t refilledAtMs = 0;
        uint64_t suppressed = 0;
    };
    std::array<Bucket, size_t(EventKind::Count)> buckets_{};
};

// Rate-limits `record` with the module's limiter and the steady clock and
// hands what passes to WriteEventRecord. Never throws.
void LogEvent(EventRecord record) noexcept;
// Forgets what the module's limiter counted (the unit tests start afresh).
void RestartEventRateLimit() noexcept;

// Build and report an event; an event that cannot be built (out of memory)
// is dropped, its debugger line was written already.
void ReportExecRefused(WideStringView reason, WideStringView text) noexcept;
void ReportMailRefused(WideStringView replyText) noexcept;
void ReportPolicyValueIgnored(WideStringView hive, WideStringView setting, WideStringView why) noexcept;
void ReportHandOverFailed(WideStringView route, WideStringView error) noexcept;

// Writes one record (Windows: ReportEventW when the source is registered;
// the Linux add-in: nothing, its debugger lines go to WLog).
void WriteEventRecord(const EventRecord& record) noexcept;

}  // namespace zobrik

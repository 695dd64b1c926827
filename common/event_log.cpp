#include "include/event_log.h"

#include <chrono>
#include <string>
#include <utility>

namespace zobrik {

namespace {

constexpr WideChar kReplacement = 0xFFFD;
constexpr WideChar kFullwidthPercent = 0xFF05;
constexpr WideChar kEllipsis = 0x2026;

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Characters that change what a reader sees without being seen: C0 and C1
// controls, zero-width and joining marks, direction marks, embeddings,
// overrides and isolates, line and paragraph separators, the byte order mark.
bool IsHiddenCharacter(uint32_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0xAD || unit == 0x061C ||
           (unit >= 0x200B && unit <= 0x200F) || (unit >= 0x2028 && unit <= 0x202E) ||
           (unit >= 0x2060 && unit <= 0x206F) || unit == 0xFEFF || (unit >= 0xFFF9 && unit <= 0xFFFB);
}

WideString Decimal(uint64_t value) {
    const std::string digits = std::to_string(value);
    return WideString(digits.begin(), digits.end());
}

// "(policy ExecAllowList)" ends the reason of a refusal by a policy setting.
bool NamesAPolicySetting(WideStringView reason) { return reason.find(ZOBRIK_WIDE("(policy ")) != WideStringView::npos; }

const WideChar* KindName(EventKind kind) {
    switch (kind) {
        case EventKind::ExecRefusal:
            return ZOBRIK_WIDE("exec refusals");
        case EventKind::MailRefusal:
            return ZOBRIK_WIDE("mail refusals");
        case EventKind::PolicyValue:
            return ZOBRIK_WIDE("ignored policy values");
        case EventKind::HandOver:
            return ZOBRIK_WIDE("failed hand-overs");
        case EventKind::Count:
            break;
    }
    return ZOBRIK_WIDE("events");
}

}  // namespace

WideString SanitisedInsert(WideStringView text, size_t longest) {
    WideString out;
    out.reserve(text.size() < longest ? text.size() : longest);
    for (size_t i = 0; i < text.size(); ++i) {
        const uint32_t unit = uint16_t(text[i]);
        const bool pair = IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(uint16_t(text[i + 1]));
        const size_t units = pair ? 2 : 1;
        // Room for this character and, when more follows, the ellipsis.
        const bool more = i + units < text.size();
        if (out.size() + units + (more ? 1 : 0) > longest) {
            out += kEllipsis;
            return out;
        }
        if (pair) {
            out += text[i];
            out += text[++i];
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || IsHiddenCharacter(unit)) {
            out += kReplacement;
        } else if (unit == '%') {
            out += kFullwidthPercent;
        } else {
            out += text[i];
        }
    }
    return out;
}

EventRecord ExecRefusedEvent(WideStringView reason, WideStringView text) {
    const EventId id = NamesAPolicySetting(reason) ? EventId::ExecRefusedByPolicy : EventId::ExecRefusedByRule;
    return {id,
            EventType::Warning,
            EventCategory::Exec,
            EventKind::ExecRefusal,
            {SanitisedInsert(reason), SanitisedInsert(text)}};
}

EventRecord MailRefusedEvent(WideStringView replyText) {
    return {EventId::MailRefused,
            EventType::Warning,
            EventCategory::Mail,
            EventKind::MailRefusal,
            {SanitisedInsert(replyText)}};
}

EventRecord PolicyValueIgnoredEvent(WideStringView hive, WideStringView setting, WideStringView why) {
    return {EventId::PolicyValueIgnored,
            EventType::Warning,
            EventCategory::Policy,
            EventKind::PolicyValue,
            {SanitisedInsert(hive), SanitisedInsert(setting), SanitisedInsert(why)}};
}

EventRecord HandOverFailedEvent(WideStringView route, WideStringView error) {
    const EventCategory category =
        route == WideStringView(ZOBRIK_WIDE("the shell")) ? EventCategory::Exec : EventCategory::Mail;
    return {EventId::HandOverFailed,
            EventType::Error,
            category,
            EventKind::HandOver,
            {SanitisedInsert(route), SanitisedInsert(error)}};
}

EventRecord EventsSuppressedEvent(EventKind kind, uint64_t suppressed) {
    const EventCategory category = kind == EventKind::MailRefusal   ? EventCategory::Mail
                                   : kind == EventKind::PolicyValue ? EventCategory::Policy
                                                                    : EventCategory::Exec;
    return {EventId::EventsSuppressed,
            EventType::Warning,
            category,
            kind,
            {Decimal(suppressed), KindName(kind), Decimal(kEventBurst)}};
}

std::vector<EventRecord> EventRateLimiter::Admit(EventRecord record, uint64_t nowMs) {
    Bucket& bucket = buckets_[size_t(record.kind)];
    if (!bucket.started) {
        bucket.started = true;
        bucket.refilledAtMs = nowMs;
    }
    if (nowMs > bucket.refilledAtMs) {
        const uint64_t earned = (nowMs - bucket.refilledAtMs) / kEventRefillMilliseconds;
        if (bucket.tokens + earned >= kEventBurst) {
            bucket.tokens = kEventBurst;
            bucket.refilledAtMs = nowMs;
        } else {
            bucket.tokens += uint32_t(earned);
            bucket.refilledAtMs += earned * kEventRefillMilliseconds;
        }
    }
    std::vector<EventRecord> written;
    if (bucket.tokens == 0) {
        ++bucket.suppressed;
        return written;
    }
    --bucket.tokens;
    if (bucket.suppressed != 0) {
        written.push_back(EventsSuppressedEvent(record.kind, bucket.suppressed));
        bucket.suppressed = 0;
    }
    written.push_back(std::move(record));
    return written;
}

namespace {

std::mutex g_limiterMutex;
EventRateLimiter g_limiter;

}  // namespace

void RestartEventRateLimit() noexcept {
    std::lock_guard lock(g_limiterMutex);
    g_limiter = EventRateLimiter();
}

void LogEvent(EventRecord record) noexcept {
    try {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        const uint64_t nowMs = uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        std::vector<EventRecord> written;
        {
            std::lock_guard lock(g_limiterMutex);
            written = g_limiter.Admit(std::move(record), nowMs);
        }
        for (const EventRecord& each : written) {
            WriteEventRecord(each);
        }
    } catch (...) {
        // Out of memory: the event is dropped, its debugger line stands.
    }
}

void ReportExecRefused(WideStringView reason, WideStringView text) noexcept {
    try {
        LogEvent(ExecRefusedEvent(reason, text));
    } catch (...) {
    }
}

void ReportMailRefused(WideStringView replyText) noexcept {
    try {
        LogEvent(MailRefusedEvent(replyText));
    } catch (...) {
    }
}

void ReportPolicyValueIgnored(WideStringView hive, WideStringView setting, WideStringView why) noexcept {
    try {
        LogEvent(PolicyValueIgnoredEvent(hive, setting, why));
    } catch (...) {
    }
}

void ReportHandOverFailed(WideStringView route, WideStringView error) noexcept {
    try {
        LogEvent(HandOverFailedEvent(route, error));
    } catch (...) {
    }
}

}  // namespace zobrik

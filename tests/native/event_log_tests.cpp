#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/event_log.h"
#include "native/debug_output_recorder.h"
#include "plugin/admin_policy_values.h"

namespace zobrik {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

TEST(EventInsert, NothingInAnInsertReadsAsAnotherInsertOrHidesText) {
    const struct {
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {u"plain text", u"plain text"},
        {u"%1", u"\uFF051"},
        {u"%%1234 and %2!s!", u"\uFF05\uFF051234 and \uFF052!s!"},
        {u"a\r\nb\tc\x7F\x85", u"a\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFD"},
        {u"evil\u202Etxt.exe", u"evil\uFFFDtxt.exe"},
        {u"zero\u200Bwidth\uFEFF", u"zero\uFFFDwidth\uFFFD"},
        {std::u16string(u"lone ") + char16_t(0xD800) + u"x" + char16_t(0xDC00), u"lone \uFFFDx\uFFFD"},
        {u"pair \U0001F600", u"pair \U0001F600"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(SanitisedInsert(each.in), each.out);
    }
}

TEST(EventInsert, ALongTextIsCutWithAMarkAndNeverInsideAPair) {
    const std::u16string longText(1000, u'a');
    const WideString cut = SanitisedInsert(longText);
    EXPECT_EQ(cut.size(), kLongestEventInsert);
    EXPECT_EQ(cut.back(), char16_t(0x2026));
    EXPECT_EQ(SanitisedInsert(std::u16string(kLongestEventInsert, u'a')).size(), kLongestEventInsert);
    // The pair would end at the last place, where the mark must go.
    const std::u16string pairAtTheEnd = std::u16string(kLongestEventInsert - 2, u'a') + u"\U0001F600b";
    const WideString pairCut = SanitisedInsert(pairAtTheEnd);
    EXPECT_EQ(pairCut, std::u16string(kLongestEventInsert - 2, u'a') + u"\u2026");
    EXPECT_NE(pairCut.find(kReplacement), 0u);
}

TEST(EventChoice, EachCaseHasItsIdTypeCategoryAndInserts) {
    const struct {
        EventRecord record;
        EventId id;
        EventType type;
        EventCategory category;
        std::vector<std::u16string> inserts;
    } cases[] = {
        {ExecRefusedEvent(u"a program", u"C:\\x.exe"),
         EventId::ExecRefusedByRule,
         EventType::Warning,
         EventCategory::Exec,
         {u"a program", u"C:\\x.exe"}},
        {ExecRefusedEvent(u"not in the list (policy ExecAllowList)", u"ftp://h/%1"),
         EventId::ExecRefusedByPolicy,
         EventType::Warning,
         EventCategory::Exec,
         {u"not in the list (policy ExecAllowList)", u"ftp://h/\uFF051"}},
        {MailRefusedEvent(u"invalid recipient address"),
         EventId::MailRefused,
         EventType::Warning,
         EventCategory::Mail,
         {u"invalid recipient address"}},
        {PolicyValueIgnoredEvent(u"HKLM", u"ExecConfirm", u"not a REG_DWORD"),
         EventId::PolicyValueIgnored,
         EventType::Warning,
         EventCategory::Policy,
         {u"HKLM", u"ExecConfirm", u"not a REG_DWORD"}},
        {HandOverFailedEvent(u"the shell", u"ShellExecute returned 2"),
         EventId::HandOverFailed,
         EventType::Error,
         EventCategory::Exec,
         {u"the shell", u"ShellExecute returned 2"}},
        {HandOverFailedEvent(u"Simple MAPI", u"MAPISendMailW returned 2"),
         EventId::HandOverFailed,
         EventType::Error,
         EventCategory::Mail,
         {u"Simple MAPI", u"MAPISendMailW returned 2"}},
        {EventsSuppressedEvent(EventKind::MailRefusal, 9990),
         EventId::EventsSuppressed,
         EventType::Warning,
         EventCategory::Mail,
         {u"9990", u"mail refusals", u"10"}},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(each.record.id, each.id);
        EXPECT_EQ(each.record.type, each.type);
        EXPECT_EQ(each.record.category, each.category);
        EXPECT_EQ(each.record.inserts, std::vector<WideString>(each.inserts.begin(), each.inserts.end()));
    }
}

size_t AdmitMany(EventRateLimiter& limiter, EventKind kind, size_t count, uint64_t nowMs,
                 std::vector<EventRecord>& written) {
    for (size_t i = 0; i < count; ++i) {
        EventRecord record = MailRefusedEvent(u"too many records");
        record.kind = kind;
        for (EventRecord& each : limiter.Admit(std::move(record), nowMs)) {
            written.push_back(std::move(each));
        }
    }
    return written.size();
}

TEST(EventRateLimit, AFloodGivesTheLimitThenOneSummaryWithTheCount) {
    EventRateLimiter limiter;
    std::vector<EventRecord> written;
    EXPECT_EQ(AdmitMany(limiter, EventKind::ExecRefusal, 10'000, 1000, written), kEventBurst);
    // Another kind is not held back by the flood.
    EXPECT_EQ(AdmitMany(limiter, EventKind::PolicyValue, 1, 1000, written), kEventBurst + 1);
    written.clear();
    // Still within the refill time: nothing.
    AdmitMany(limiter, EventKind::ExecRefusal, 100, 1000 + kEventRefillMilliseconds - 1, written);
    EXPECT_TRUE(written.empty());
    // One token later: the summary, then the event.
    AdmitMany(limiter, EventKind::ExecRefusal, 2, 1000 + kEventRefillMilliseconds, written);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].id, EventId::EventsSuppressed);
    EXPECT_EQ(written[0].inserts[0], u"10090");
    EXPECT_EQ(written[1].id, EventId::MailRefused);
    // A minute later the whole burst is there again, with the one suppressed.
    written.clear();
    AdmitMany(limiter, EventKind::ExecRefusal, 100, 1000 + kEventRefillMilliseconds + 60'000, written);
    ASSERT_EQ(written.size(), kEventBurst + 1);
    EXPECT_EQ(written[0].inserts[0], u"1");
}

TEST(EventRateLimit, ASteadyTrickleWithinTheRateIsNeverSuppressed) {
    EventRateLimiter limiter;
    std::vector<EventRecord> written;
    for (uint64_t minute = 0; minute < 10; ++minute) {
        for (uint64_t i = 0; i < kEventBurst; ++i) {
            AdmitMany(limiter, EventKind::MailRefusal, 1, minute * 60'000 + i * kEventRefillMilliseconds, written);
        }
    }
    EXPECT_EQ(written.size(), 10 * kEventBurst);
    for (const EventRecord& each : written) {
        EXPECT_NE(each.id, EventId::EventsSuppressed);
    }
}

TEST(EventLog, AnIgnoredPolicyValueIsWrittenAsAnEvent) {
    RestartEventRateLimit();
    testing::TakeEventRecords();
    const RawPolicyValue confirm{u"ExecConfirm", kRegistryMultiString, {0x41, 0, 0, 0}};
    PolicyFromHives({u"HKLM", {confirm}}, {u"HKCU", {}});
    const std::vector<EventRecord> events = testing::TakeEventRecords();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, EventId::PolicyValueIgnored);
    EXPECT_EQ(events[0].inserts, (std::vector<WideString>{u"HKLM", u"ExecConfirm", u"not a REG_DWORD"}));
}

TEST(EventLog, AHostileFloodThroughTheModuleReachesTheLogOnlyUpToTheLimit) {
    RestartEventRateLimit();
    testing::TakeEventRecords();
    for (int i = 0; i < 10'000; ++i) {
        ReportExecRefused(u"a program", u"C:\\planted.exe");
    }
    // A test that takes a refill time would see one more and the summary.
    EXPECT_LE(testing::TakeEventRecords().size(), kEventBurst + 2);
    RestartEventRateLimit();
}

}  // namespace
}  // namespace zobrik

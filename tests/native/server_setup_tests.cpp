// The server package setup's decisions: what is recorded before the package
// changes anything, what is put back at uninstall, its command line.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/setup/previous_defaults.h"

namespace zobrik::server {
namespace {

using Text = std::optional<std::wstring>;
const Text kNone = std::nullopt;

struct RecordCase {
    const char* what;
    Text current;
    Text recorded;
    bool write;
    std::wstring value;
};

TEST(ServerSetupRecord, RecordsWhatIsNotOursAndKeepsTheFirstRecord) {
    const RecordCase cases[] = {
        {"first install, a previous client", L"Previous Mail", kNone, true, L"Previous Mail"},
        {"first install, no client", kNone, kNone, true, L""},
        {"first install, an empty default", L"", kNone, true, L""},
        {"repair after set-default-mail", L"Zobrik", L"Previous Mail", false, L""},
        {"our ProgID in another case", L"zobrik.url", L"ChromeHTML", false, L""},
        {"our file ProgID", L"ZOBRIK.FILE", kNone, false, L""},
        {"ours before any record", L"Zobrik", kNone, false, L""},
        {"no client now, a record kept", kNone, L"Previous Mail", false, L""},
        {"the administrator chose another client", L"Other Mail", L"Previous Mail", true, L"Other Mail"},
        {"a name that only starts like ours", L"Zobrik Mail", kNone, true, L"Zobrik Mail"},
    };
    for (const RecordCase& c : cases) {
        const RecordStep step = DecideRecord(c.current, c.recorded);
        EXPECT_EQ(step.write, c.write) << c.what;
        if (c.write) {
            EXPECT_EQ(step.value, c.value) << c.what;
        }
    }
}

struct RestoreCase {
    const char* what;
    Text current;
    Text recorded;
    bool registered;
    RestoreAction action;
    std::wstring value;
};

TEST(ServerSetupRestore, PutsBackOnlyWhereTheDefaultIsStillOurs) {
    const RestoreCase cases[] = {
        {"ours, recorded client still there", L"Zobrik", L"Previous Mail", true, RestoreAction::PutBack,
         L"Previous Mail"},
        {"ours, recorded client uninstalled", L"Zobrik", L"Previous Mail", false, RestoreAction::Clear, L""},
        {"ours, there was none", L"Zobrik", L"", true, RestoreAction::Clear, L""},
        {"ours, nothing recorded", L"zobrik", kNone, false, RestoreAction::Clear, L""},
        {"ours, a record naming ourselves", L"Zobrik.File", L"Zobrik.File", true, RestoreAction::Clear, L""},
        {"the administrator chose another", L"Other Mail", L"Previous Mail", true, RestoreAction::LeaveAlone, L""},
        {"no default now", kNone, L"Previous Mail", true, RestoreAction::LeaveAlone, L""},
        {"empty default now", L"", L"Previous Mail", true, RestoreAction::LeaveAlone, L""},
    };
    for (const RestoreCase& c : cases) {
        const RestoreStep step = DecideRestore(c.current, c.recorded, c.registered);
        EXPECT_EQ(step.action, c.action) << c.what;
        EXPECT_EQ(step.value, c.value) << c.what;
    }
}

TEST(ServerSetupSlots, BothMailViewsTheSchemesAndEachFileTypeOnce) {
    const std::vector<DefaultSlot> slots = SlotsToRecord({L".pdf", L".PDF", L".txt", L"http"});
    std::vector<std::wstring> names;
    for (const DefaultSlot& slot : slots) {
        names.push_back(slot.valueName);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"MailClient", L"MailClient32", L"http", L"https", L"mailto", L".pdf",
                                                L".txt"}));
    EXPECT_EQ(slots[0].kind, DefaultKind::MailClient64);
    EXPECT_EQ(slots[1].kind, DefaultKind::MailClient32);
    EXPECT_EQ(slots[5].kind, DefaultKind::FileType);
}

TEST(ServerSetupSlots, RecordedValueNamesMapBackToTheirSlots) {
    const struct {
        const wchar_t* name;
        std::optional<DefaultKind> kind;
    } cases[] = {
        {L"MailClient", DefaultKind::MailClient64},
        {L"mailclient32", DefaultKind::MailClient32},
        {L"https", DefaultKind::Scheme},
        {L".docx", DefaultKind::FileType},
        {L"ftp", std::nullopt},
        {L"..\\x", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<DefaultSlot> slot = SlotOfRecordedValue(c.name);
        ASSERT_EQ(slot.has_value(), c.kind.has_value()) << std::string(c.name, c.name + wcslen(c.name));
        if (slot) {
            EXPECT_EQ(slot->kind, *c.kind);
        }
    }
}

struct ArgumentsCase {
    std::vector<std::wstring> arguments;
    bool parsed;
    SetupCommand command;
    std::vector<std::wstring> fileTypes;
};

TEST(ServerSetupArguments, CommandsAndFileTypeLists) {
    const ArgumentsCase cases[] = {
        {{L"record"}, true, SetupCommand::Record, {}},
        {{L"record", L""}, true, SetupCommand::Record, {}},  // an empty MSI property
        {{L"record", L".pdf;.docx;", L".txt"}, true, SetupCommand::Record, {L".pdf", L".docx", L".txt"}},
        {{L"set-default-mail"}, true, SetupCommand::SetDefaultMail, {}},
        {{L"restore"}, true, SetupCommand::Restore, {}},
        {{}, false, SetupCommand::Record, {}},
        {{L"Record"}, false, SetupCommand::Record, {}},
        {{L"restore", L"now"}, false, SetupCommand::Record, {}},
        {{L"record", L"pdf"}, false, SetupCommand::Record, {}},
        {{L"record", L".pdf\\shell"}, false, SetupCommand::Record, {}},
        {{L"record", L"."}, false, SetupCommand::Record, {}},
        {{L"record", L".a234567890123456789012345678901234"}, false, SetupCommand::Record, {}},
    };
    for (const ArgumentsCase& c : cases) {
        const ParsedArguments parsed = ParseSetupArguments(c.arguments);
        ASSERT_EQ(parsed.arguments.has_value(), c.parsed) << c.arguments.size();
        if (parsed.arguments) {
            EXPECT_EQ(parsed.arguments->command, c.command);
            EXPECT_EQ(parsed.arguments->fileTypes, c.fileTypes);
        } else {
            EXPECT_FALSE(parsed.error.empty());
        }
    }
}

}  // namespace
}  // namespace zobrik::server

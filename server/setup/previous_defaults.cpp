#include "server/setup/previous_defaults.h"

#include <algorithm>
#include <array>

#include "server/server_registry.h"

namespace zobrik::server {
namespace {

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](wchar_t x, wchar_t y) { return AsciiLower(x) == AsciiLower(y); });
}

bool IsNone(const std::optional<std::wstring>& value) { return !value || value->empty(); }

// Splits each argument at ';' and drops the empty parts.
std::vector<std::wstring> SplitLists(std::vector<std::wstring>::const_iterator first,
                                     std::vector<std::wstring>::const_iterator last) {
    std::vector<std::wstring> parts;
    for (; first != last; ++first) {
        std::wstring_view rest = *first;
        while (!rest.empty()) {
            const size_t end = std::min(rest.find(L';'), rest.size());
            if (end > 0) {
                parts.emplace_back(rest.substr(0, end));
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    return parts;
}

}  // namespace

std::vector<DefaultSlot> SlotsToRecord(const std::vector<std::wstring>& fileTypes) {
    std::vector<DefaultSlot> slots = {
        {DefaultKind::MailClient64, kPreviousMailClientValue},
        {DefaultKind::MailClient32, kPreviousMailClient32Value},
        {DefaultKind::Scheme, L"http"},
        {DefaultKind::Scheme, L"https"},
        {DefaultKind::Scheme, L"mailto"},
    };
    for (const std::wstring& type : fileTypes) {
        const bool seen = std::any_of(slots.begin(), slots.end(), [&](const DefaultSlot& slot) {
            return EqualIgnoringAsciiCase(slot.valueName, type);
        });
        if (!seen) {
            slots.push_back({DefaultKind::FileType, type});
        }
    }
    return slots;
}

bool IsOwnName(std::wstring_view name) {
    constexpr std::array<std::wstring_view, 3> kOurs = {kMailClientName, kUrlProgId, kFileProgId};
    return std::any_of(kOurs.begin(), kOurs.end(),
                       [&](std::wstring_view own) { return EqualIgnoringAsciiCase(own, name); });
}

RecordStep DecideRecord(const std::optional<std::wstring>& current, const std::optional<std::wstring>& recorded) {
    if (IsNone(current)) {
        // No default now: that is the record, unless one is already kept.
        return recorded ? RecordStep{} : RecordStep{true, L""};
    }
    if (IsOwnName(*current)) {
        return {};
    }
    return {true, *current};
}

RestoreStep DecideRestore(const std::optional<std::wstring>& current, const std::optional<std::wstring>& recorded,
                          bool recordedStillRegistered) {
    if (IsNone(current) || !IsOwnName(*current)) {
        return {};
    }
    if (!IsNone(recorded) && !IsOwnName(*recorded) && recordedStillRegistered) {
        return {RestoreAction::PutBack, *recorded};
    }
    return {RestoreAction::Clear, L""};
}

std::optional<DefaultSlot> SlotOfRecordedValue(std::wstring_view valueName) {
    for (const DefaultSlot& slot : SlotsToRecord({})) {
        if (EqualIgnoringAsciiCase(slot.valueName, valueName)) {
            return slot;
        }
    }
    if (IsFileTypeName(valueName)) {
        return DefaultSlot{DefaultKind::FileType, std::wstring(valueName)};
    }
    return std::nullopt;
}

bool IsFileTypeName(std::wstring_view name) {
    if (name.size() < 2 || name.size() > 33 || name.front() != L'.') {
        return false;
    }
    return std::all_of(name.begin() + 1, name.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
               c == L'_';
    });
}

ParsedArguments ParseSetupArguments(const std::vector<std::wstring>& arguments) {
    if (arguments.empty()) {
        return {std::nullopt, L"no command given"};
    }
    const std::wstring& command = arguments.front();
    SetupArguments parsed;
    if (command == L"record") {
        parsed.command = SetupCommand::Record;
        parsed.fileTypes = SplitLists(arguments.begin() + 1, arguments.end());
        for (const std::wstring& type : parsed.fileTypes) {
            if (!IsFileTypeName(type)) {
                return {std::nullopt, L"not a file type: \"" + type + L"\" (a dot and up to 32 letters or digits)"};
            }
        }
        return {parsed, L""};
    }
    if (command == L"set-default-mail" || command == L"restore") {
        if (arguments.size() > 1) {
            return {std::nullopt, command + L" takes no arguments"};
        }
        parsed.command = command == L"restore" ? SetupCommand::Restore : SetupCommand::SetDefaultMail;
        return {parsed, L""};
    }
    return {std::nullopt, L"unknown command \"" + command + L"\""};
}

}  // namespace zobrik::server

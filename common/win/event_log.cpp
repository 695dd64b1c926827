// Writes the module's events to the Application log with ReportEventW.
#include "include/event_log.h"

#include <windows.h>

#include <iterator>

#include "include/win/owners.h"

namespace zobrik {

namespace {

constexpr wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZobrikWTSDVC";
constexpr wchar_t kSourceName[] = L"ZobrikWTSDVC";

// Whether the MSI registered the source. Without it the Event Viewer shows
// the inserts under "The description for Event ID ... cannot be found", and
// a per-user install cannot register it (HKLM): the events are then left
// out and the debugger lines remain.
bool SourceIsRegistered() noexcept {
    UniqueRegistryKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS;
}

}  // namespace

// The source is opened for each event and closed after it: the rate limit
// keeps that to a few a minute, a source registered after the client
// started is found, and nothing is left to close while the module unloads
// (where calls into the event log service must not be made).
void WriteEventRecord(const EventRecord& record) noexcept {
    if (!SourceIsRegistered()) {
        return;
    }
    UniqueEventSource source(RegisterEventSourceW(nullptr, kSourceName));
    if (!source) {
        return;
    }
    const wchar_t* inserts[8] = {};
    WORD count = 0;
    for (const WideString& each : record.inserts) {
        if (count == std::size(inserts)) {
            break;
        }
        inserts[count++] = each.c_str();
    }
    ReportEventW(source.Get(), WORD(record.type), WORD(record.category), DWORD(record.id), nullptr, count, 0, inserts,
                 nullptr);
}

}  // namespace zobrik

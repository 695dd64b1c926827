#include "debug_output_recorder.h"

#include <mutex>
#include <utility>

#include "include/debug_output.h"

namespace zobrik {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_lines;
std::vector<EventRecord> g_events;

std::string ToUtf8(const WideChar* text) {
    std::string out;
    for (const WideChar* p = text; *p; ++p) {
        uint32_t c = uint16_t(*p);
        if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint16_t(p[1]) - 0xDC00);
            ++p;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void Record(std::string line) {
    std::lock_guard lock(g_mutex);
    g_lines.push_back(std::move(line));
}

}  // namespace

void DebugOutput(const WideChar* text, DebugLevel) noexcept { Record(ToUtf8(text)); }

void DebugOutputNarrow(const char* text, DebugLevel) noexcept { Record(text); }

void DebugEvent(const WideChar* event, DebugLevel) noexcept {
    Record("Zobrik WTS DVC plugin: " + ToUtf8(event) + "\n");
}

void WriteEventRecord(const EventRecord& record) noexcept {
    std::lock_guard lock(g_mutex);
    g_events.push_back(record);
}

namespace testing {

std::vector<std::string> TakeDebugLines() {
    std::lock_guard lock(g_mutex);
    return std::exchange(g_lines, {});
}

std::vector<EventRecord> TakeEventRecords() {
    std::lock_guard lock(g_mutex);
    return std::exchange(g_events, {});
}

}  // namespace testing
}  // namespace zobrik

// Reads values under HKEY_LOCAL_MACHINE for the installer tests, many in one
// run (a Wine process start costs more than all the reads together).
// Reads lines "<view 32|64>|<key>|<name, or - for the default value>" from
// standard input and writes one line for each: the string as stored
// (REG_SZ and REG_EXPAND_SZ, unexpanded), "<type N>" for a value of another
// type, or ABSENT when the key or the value does not exist. Input and output
// are UTF-8; lines end with "\n".
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "include/unique_resource.h"
#include "include/win/owners.h"

namespace {

struct Query {
    DWORD view = 0;
    std::wstring key;
    std::wstring name;
    bool defaultValue = false;
};

std::wstring Widened(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrowed(const std::wstring& text) {
    if (text.empty()) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

// "<view>|<key>|<name>"; false for a line of another shape.
bool ParsedQuery(const std::string& line, Query& query) {
    const size_t first = line.find('|');
    const size_t second = first == std::string::npos ? first : line.find('|', first + 1);
    if (second == std::string::npos) return false;
    const std::string view = line.substr(0, first);
    if (view != "32" && view != "64") return false;
    query.view = view == "32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    query.key = Widened(line.substr(first + 1, second - first - 1));
    const std::string name = line.substr(second + 1);
    query.defaultValue = name == "-";
    query.name = query.defaultValue ? std::wstring() : Widened(name);
    return true;
}

std::wstring ValueText(const Query& query) {
    zobrik::UniqueRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, query.key.c_str(), 0, KEY_QUERY_VALUE | query.view, key.Put()) !=
        ERROR_SUCCESS) {
        return L"ABSENT";
    }
    const wchar_t* name = query.defaultValue ? nullptr : query.name.c_str();
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return L"ABSENT";
        if (type != REG_SZ && type != REG_EXPAND_SZ) return L"<type " + std::to_wstring(type) + L">";
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_MORE_DATA) continue;  // it grew in between
        if (status != ERROR_SUCCESS) return L"ABSENT";
        std::wstring text(data.data(), size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    return L"ABSENT";
}

void WriteLine(const std::string& text) {
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

// Answers one input line; false when it is malformed.
bool Answered(const std::string& line) {
    Query query;
    if (!ParsedQuery(line, query)) {
        WriteLine("MALFORMED");
        return false;
    }
    WriteLine(Narrowed(ValueText(query)));
    return true;
}

int Run() {
    _setmode(_fileno(stdout), _O_BINARY);
    int malformed = 0;
    std::string line;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        if (c == '\n') {
            malformed += Answered(line) ? 0 : 1;
            line.clear();
        } else if (c != '\r') {
            line.push_back(static_cast<char>(c));
        }
    }
    if (!line.empty()) malformed += Answered(line) ? 0 : 1;
    std::fflush(stdout);
    return malformed == 0 ? 0 : 2;
}

}  // namespace

int wmain() {
    try {
        return Run();
    } catch (...) {
        std::fputs("registry_values: out of memory\n", stderr);
        return 3;
    }
}

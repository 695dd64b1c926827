// Reads the version resource of a built file back, as Windows' file
// properties do, and compares it with what the build promised.
// usage: version_check <file> <version> <original file name>
// Exit status 0 when every value matches, 1 with the differences printed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The string value `name` of the US English, Unicode block.
std::wstring StringValue(const std::vector<BYTE>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) {
        return L"";
    }
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: version_check <file> <version> <original file name>\n");
        return 2;
    }
    const std::wstring file = argv[1];
    const std::wstring version = argv[2];
    const std::wstring original = argv[3];
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) {
        std::fwprintf(stderr, L"FAIL: %ls has no version resource (error %lu)\n", file.c_str(), GetLastError());
        return 1;
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        std::fwprintf(stderr, L"FAIL: the version resource of %ls cannot be read\n", file.c_str());
        return 1;
    }
    int failures = 0;
    auto expect = [&failures](const wchar_t* what, const std::wstring& got, const std::wstring& wanted) {
        if (got != wanted) {
            std::wprintf(L"FAIL: %ls is \"%ls\", expected \"%ls\"\n", what, got.c_str(), wanted.c_str());
            ++failures;
        } else {
            std::wprintf(L"ok: %ls \"%ls\"\n", what, got.c_str());
        }
    };
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength) && fixed) {
        wchar_t numbers[64];
        std::swprintf(numbers, 64, L"%lu.%lu.%lu.%lu", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                      HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        expect(L"fixed FileVersion", numbers, version + L".0");
    } else {
        std::wprintf(L"FAIL: no fixed file information\n");
        ++failures;
    }
    expect(L"FileVersion", StringValue(block, L"FileVersion"), version + L".0");
    expect(L"ProductVersion", StringValue(block, L"ProductVersion"), version);
    expect(L"CompanyName", StringValue(block, L"CompanyName"), L"Zobrik");
    expect(L"ProductName", StringValue(block, L"ProductName"), L"Zobrik Remote Desktop plug-in");
    expect(L"OriginalFilename", StringValue(block, L"OriginalFilename"), original);
    for (const wchar_t* name : {L"FileDescription", L"LegalCopyright"}) {
        const std::wstring value = StringValue(block, name);
        if (value.empty()) {
            std::wprintf(L"FAIL: %ls is empty\n", name);
            ++failures;
        } else {
            std::wprintf(L"ok: %ls \"%ls\"\n", name, value.c_str());
        }
    }
    return failures == 0 ? 0 : 1;
}

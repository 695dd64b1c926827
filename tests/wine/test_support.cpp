#include "test_support.h"

#include <fstream>
#include <thread>

namespace zobrik::testing {

standin::ClientOptions ClientOptionsFromEnvironment() { return {}; }

std::unique_ptr<standin::ClientStandIn> StartedClient() {
    auto client = std::make_unique<standin::ClientStandIn>(ClientOptionsFromEnvironment());
    HRESULT hr = client->Start();
    if (hr != S_OK) {
        throw std::runtime_error("client start-up failed: " + std::to_string(hr));
    }
    return client;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::wstring FreshTempFile(const wchar_t* stem) {
    static LONG counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(InterlockedIncrement(&counter)) + L".txt";
    DeleteFileW(path.c_str());
    return path;
}

int MarkerRuns(const std::wstring& path) {
    std::ifstream in(path.c_str());
    int lines = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lines;
    }
    return lines;
}

bool WaitForMarkerRuns(const std::wstring& path, int count, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (MarkerRuns(path) < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string MarkerProgramPath() { return standin::ToUtf8(standin::ExecutableDirectory() + L"marker.exe"); }

std::vector<uint8_t> MinimalMailRequest(size_t size, uint32_t version) {
    std::vector<uint8_t> bytes(size, 0);
    for (int i = 0; i < 4 && size >= 4; ++i) {
        bytes[i] = uint8_t(version >> (8 * i));
    }
    for (int i = 0; i < 8 && size >= 16; ++i) {
        bytes[8 + i] = uint8_t(uint64_t(size) >> (8 * i));
    }
    return bytes;
}

}  // namespace zobrik::testing

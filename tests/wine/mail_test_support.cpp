#include "mail_test_support.h"

namespace zobrik::testing {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return bytes;
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

void CollectFiles(const std::wstring& root, const std::wstring& relative, bool withDirectories,
                  std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((root + relative + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (withDirectories) {
                out.push_back(relative + name + L"\\");
            }
            CollectFiles(root, relative + name + L"\\", withDirectories, out);
        } else {
            out.push_back(relative + name);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return (n > 0 && n < 1024) ? std::wstring(value) : std::wstring();
}

}  // namespace

std::vector<std::wstring> FilesBelow(const std::wstring& directory) {
    std::vector<std::wstring> out;
    CollectFiles(directory, L"", false, out);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::wstring> EntriesBelow(const std::wstring& directory) {
    std::vector<std::wstring> out;
    CollectFiles(directory, L"", true, out);
    std::sort(out.begin(), out.end());
    return out;
}

void RemoveTree(const std::wstring& directory) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((directory + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(directory + name + L"\\");
            } else {
                DeleteFileW((directory + name).c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(directory.c_str());
}

std::vector<uint8_t> ErrorReply(const std::string& message) {
    std::string text = "Exception: char const *       " + message;
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

const std::vector<uint8_t>& UnknownErrorReply() {
    static const std::vector<uint8_t> reply = [] {
        std::string text = "Exception: unknown";
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        return bytes;
    }();
    return reply;
}

const std::vector<uint8_t>& StatusOkReply() {
    static const std::vector<uint8_t> reply = {0};
    return reply;
}

bool UnloadPlugInCompletely(standin::ClientStandIn& client) {
    wchar_t path[MAX_PATH];
    if (GetModuleFileNameW(client.Module(), path, MAX_PATH) == 0) {
        return false;
    }
    client.Unload();
    Sleep(200);  // a worker that has just replied may still hold the module
    for (int i = 0; i < 1000; ++i) {
        HMODULE module = GetModuleHandleW(path);
        if (!module) {
            return true;
        }
        FreeLibrary(module);
    }
    return false;
}

void MailPipelineFixture::SetUp() {
    client_ = StartedClient();
    mapi_ = standin::MapiStandIn::Find();
    ASSERT_TRUE(mapi_.Valid()) << "the recording MAPI32 stand-in is not loaded";
    mapi_.Reset();
    originalTmp_ = Environment(L"TMP");
    originalTemp_ = Environment(L"TEMP");
    std::wstring fresh = FreshTempFile(L"zobrik-mail");
    fresh.resize(fresh.size() - 4);  // drop ".txt"
    temp_ = fresh + L"\\";
    ASSERT_TRUE(CreateDirectoryW(fresh.c_str(), nullptr));
    UseTempFolder(temp_);
}

void MailPipelineFixture::UseTempFolder(const std::wstring& folder) {
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
}

void MailPipelineFixture::TearDown() {
    mapi_.Reset();
    SetEnvironmentVariableW(L"TMP", originalTmp_.empty() ? nullptr : originalTmp_.c_str());
    SetEnvironmentVariableW(L"TEMP", originalTemp_.empty() ? nullptr : originalTemp_.c_str());
    if (!temp_.empty()) {
        RemoveTree(temp_);
    }
}

std::shared_ptr<standin::StandInChannel> MailPipelineFixture::SendOnNewChannel(const std::vector<uint8_t>& request,
                                                                               size_t chunk) {
    auto channel = client_->OpenChannel("Zobrik/mail");
    EXPECT_NE(channel, nullptr);
    if (!channel) {
        return channel;
    }
    HRESULT hr = chunk ? channel->SendChunks(request, chunk) : channel->Send(request);
    EXPECT_EQ(hr, S_OK);
    return channel;
}

std::vector<uint8_t> MailPipelineFixture::Exchange(const std::vector<uint8_t>& request, size_t chunk) {
    auto channel = SendOnNewChannel(request, chunk);
    if (!channel || !channel->WaitForWrites(1, kReplyTimeout)) {
        ADD_FAILURE() << "no reply";
        return {};
    }
    Sleep(50);
    auto writes = channel->Writes();
    EXPECT_EQ(writes.size(), 1u) << "exactly one reply per request";
    return writes[0];
}

}  // namespace zobrik::testing

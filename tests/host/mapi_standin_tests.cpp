// Tests of the MAPI32 stand-ins, called directly: the recording stand-in must
// hand back exactly what MAPISendMailW received (null and empty kept apart,
// file bytes as on disk during the call), hold calls from several threads until
// released, and the no-send stand-in must load without MAPISendMailW.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "client_standin.h"
#include "include/simple_mapi_types.h"
#include "mapi_standin_client.h"

namespace {

using namespace std::chrono_literals;
using zobrik::standin::DebugCapture;
using zobrik::standin::MapiStandIn;
using zobrik::standin::MapiStandInDir;

// Wine loads its builtin mapi32 even for a full path unless told otherwise.
constexpr const char* kNotStandIn =
    "the loaded MAPI32 is not the stand-in (under Wine run with WINEDLLOVERRIDES=mapi32=n)";

class Library {
public:
    explicit Library(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}
    ~Library() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

class TempFile {
public:
    TempFile(const std::wstring& name, const std::vector<uint8_t>& bytes) {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        path_ = std::wstring(dir) + name;
        std::ofstream out(std::filesystem::path(path_), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { DeleteFileW(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

zobrik::MapiSendMailWFunction SendEntry(HMODULE module) {
    return reinterpret_cast<zobrik::MapiSendMailWFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "MAPISendMailW")));
}

// The recording stand-in, loaded once for all tests of this program.
HMODULE Recording() {
    static Library library(MapiStandInDir(L"mapi-recording") + L"\\MAPI32.dll");
    return library.get();
}

TEST(NoSendStandIn, LoadsWithoutSendEntryAndAnnouncesAttachAndDetach) {
    DebugCapture::Install();
    DebugCapture::Clear();
    {
        Library library(MapiStandInDir(L"mapi-nosend") + L"\\MAPI32.dll");
        ASSERT_NE(library.get(), nullptr) << GetLastError();
        ASSERT_EQ(GetProcAddress(library.get(), "MAPISendMailW"), nullptr) << kNotStandIn;
        EXPECT_NE(GetProcAddress(library.get(), "MAPILogon"), nullptr);
        EXPECT_EQ(DebugCapture::Count("MAPI32 stand-in (no MAPISendMailW) attached\n"), 1u);
    }
    EXPECT_EQ(DebugCapture::Count("MAPI32 stand-in (no MAPISendMailW) detached\n"), 1u);
}

TEST(RecordingStandIn, RoundTripOfFullMessage) {
    ASSERT_NE(Recording(), nullptr) << GetLastError();
    const MapiStandIn standIn(Recording());
    ASSERT_TRUE(standIn.Valid()) << kNotStandIn;
    standIn.Reset();
    standIn.SetResult(zobrik::MAPI_USER_ABORT);

    const std::vector<uint8_t> firstBytes = {0x00, 0xFF, 'a', '\n', 0x25, 0x22};
    std::vector<uint8_t> secondBytes(70000);
    for (size_t i = 0; i < secondBytes.size(); ++i) {
        secondBytes[i] = static_cast<uint8_t>(i % 251);
    }
    const TempFile first(L"zobrik-standin-first.bin", firstBytes);
    const TempFile second(L"zobrik-standin-second.pdf", secondBytes);

    std::wstring subject = L"Subject \"quoted\" 100% \u2713 =\nline two";
    std::wstring body = L"Body\r\nwith \U0001F600 and a lone \xD800 surrogate";
    std::wstring empty;
    std::wstring fromName = L"from@example.com", fromAddress = L"SMTP:from@example.com";
    std::wstring toName = L"to@example.com", toAddress = L"SMTP:to@example.com";
    std::wstring ccName = L"cc@example.com";
    std::wstring firstPath = first.path(), secondPath = second.path();
    std::wstring firstName = L"first.bin", secondName = L"docs/offer.pdf";
    uint8_t entryId[4] = {1, 2, 3, 4};
    uint8_t fileType[8] = {};

    zobrik::MapiRecipDescW originator{0, zobrik::MAPI_ORIG, fromName.data(), fromAddress.data(), 0, nullptr};
    zobrik::MapiRecipDescW recips[2] = {
        {0, zobrik::MAPI_TO, toName.data(), toAddress.data(), 4, entryId},
        {7, zobrik::MAPI_CC, ccName.data(), nullptr, 0, nullptr},
    };
    zobrik::MapiFileDescW files[2] = {
        {0, 0, 0xFFFFFFFFu, firstPath.data(), firstName.data(), nullptr},
        {3, 1, 5, secondPath.data(), secondName.data(), fileType},
    };
    zobrik::MapiMessageW message{};
    message.ulReserved = 0;
    message.lpszSubject = subject.data();
    message.lpszNoteText = body.data();
    message.lpszConversationID = empty.data();
    message.flFlags = 0;
    message.lpOriginator = &originator;
    message.nRecipCount = 2;
    message.lpRecips = recips;
    message.nFileCount = 2;
    message.lpFiles = files;

    const auto send = SendEntry(Recording());
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(send(0, 0x1234, &message, zobrik::MAPI_DIALOG, 0), zobrik::MAPI_USER_ABORT);
    ASSERT_EQ(standIn.CallCount(), 1u);

    const auto call = standIn.Call(0);
    ASSERT_TRUE(call.has_value()) << standIn.RawCall(0).value_or("(no record)");
    EXPECT_EQ(call->index, 0u);
    EXPECT_EQ(call->threadId, GetCurrentThreadId());
    EXPECT_EQ(call->session, 0u);
    EXPECT_EQ(call->uiParam, 0x1234u);
    EXPECT_EQ(call->flags, zobrik::MAPI_DIALOG);
    EXPECT_EQ(call->reserved, 0u);
    EXPECT_EQ(call->result, zobrik::MAPI_USER_ABORT);
    EXPECT_FALSE(call->blocking);
    ASSERT_TRUE(call->hasMessage);
    EXPECT_EQ(call->subject, subject);
    EXPECT_EQ(call->noteText, body);
    EXPECT_EQ(call->messageType, std::nullopt);
    EXPECT_EQ(call->dateReceived, std::nullopt);
    EXPECT_EQ(call->conversationId, std::wstring());  // empty, not null
    ASSERT_TRUE(call->originator.has_value());
    EXPECT_EQ(call->originator->recipClass, zobrik::MAPI_ORIG);
    EXPECT_EQ(call->originator->name, fromName);
    EXPECT_EQ(call->originator->address, fromAddress);
    EXPECT_FALSE(call->originator->hasEntryId);
    EXPECT_EQ(call->recipCount, 2u);
    ASSERT_TRUE(call->hasRecips);
    ASSERT_EQ(call->recips.size(), 2u);
    EXPECT_EQ(call->recips[0].recipClass, zobrik::MAPI_TO);
    EXPECT_EQ(call->recips[0].name, toName);
    EXPECT_EQ(call->recips[0].address, toAddress);
    EXPECT_EQ(call->recips[0].eidSize, 4u);
    EXPECT_TRUE(call->recips[0].hasEntryId);
    EXPECT_EQ(call->recips[1].reserved, 7u);
    EXPECT_EQ(call->recips[1].recipClass, zobrik::MAPI_CC);
    EXPECT_EQ(call->recips[1].name, ccName);
    EXPECT_EQ(call->recips[1].address, std::nullopt);
    EXPECT_EQ(call->fileCount, 2u);
    ASSERT_TRUE(call->hasFiles);
    ASSERT_EQ(call->files.size(), 2u);
    EXPECT_EQ(call->files[0].position, 0xFFFFFFFFu);
    EXPECT_EQ(call->files[0].pathName, firstPath);
    EXPECT_EQ(call->files[0].fileName, firstName);
    EXPECT_FALSE(call->files[0].hasFileType);
    ASSERT_TRUE(call->files[0].contentRead);
    EXPECT_EQ(call->files[0].content, firstBytes);
    EXPECT_EQ(call->files[1].reserved, 3u);
    EXPECT_EQ(call->files[1].flags, 1u);
    EXPECT_EQ(call->files[1].position, 5u);
    EXPECT_EQ(call->files[1].fileName, secondName);
    EXPECT_TRUE(call->files[1].hasFileType);
    ASSERT_TRUE(call->files[1].contentRead);
    EXPECT_EQ(call->files[1].content, secondBytes);
}

TEST(RecordingStandIn, NullPointersAndMissingFiles) {
    const MapiStandIn standIn(Recording());
    ASSERT_TRUE(standIn.Valid()) << kNotStandIn;
    standIn.Reset();
    std::wstring missing = L"C:\\no\\such\\folder\\file.txt";
    zobrik::MapiFileDescW file{0, 0, 0, missing.data(), nullptr, nullptr};
    zobrik::MapiMessageW message{};
    message.nRecipCount = 3;  // a count without an array: nothing may be read
    message.nFileCount = 1;
    message.lpFiles = &file;
    const auto send = SendEntry(Recording());
    EXPECT_EQ(send(0, 0, &message, 0, 0), 0u);
    EXPECT_EQ(send(0, 0, nullptr, 0, 0), 0u);
    const auto calls = standIn.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].subject, std::nullopt);
    EXPECT_EQ(calls[0].conversationId, std::nullopt);
    EXPECT_FALSE(calls[0].originator.has_value());
    EXPECT_EQ(calls[0].recipCount, 3u);
    EXPECT_FALSE(calls[0].hasRecips);
    EXPECT_TRUE(calls[0].recips.empty());
    ASSERT_EQ(calls[0].files.size(), 1u);
    EXPECT_EQ(calls[0].files[0].fileName, std::nullopt);
    EXPECT_FALSE(calls[0].files[0].contentRead);
    EXPECT_NE(calls[0].files[0].openError, 0u);
    EXPECT_EQ(calls[1].index, 1u);
    EXPECT_FALSE(calls[1].hasMessage);
}

TEST(RecordingStandIn, BlocksCallsFromTwoThreadsUntilReleased) {
    const MapiStandIn standIn(Recording());
    ASSERT_TRUE(standIn.Valid()) << kNotStandIn;
    standIn.Reset();
    standIn.SetResult(42);
    standIn.SetBlocking(true);
    const auto send = SendEntry(Recording());
    std::atomic<int> returned{0};
    std::atomic<ULONG> results[2] = {0, 0};
    std::atomic<DWORD> threadIds[2] = {0, 0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] {
            threadIds[i] = GetCurrentThreadId();
            std::wstring subject = L"thread " + std::to_wstring(i);
            zobrik::MapiMessageW message{};
            message.lpszSubject = subject.data();
            results[i] = send(0, 0, &message, zobrik::MAPI_DIALOG, 0);
            ++returned;
        });
    }
    ASSERT_TRUE(standIn.WaitForBlocked(2, 10s));
    EXPECT_EQ(standIn.CallCount(), 2u);
    EXPECT_EQ(standIn.BlockedCount(), 2u);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(returned.load(), 0);       // both held as by a modal dialog
    const auto calls = standIn.Calls();  // readable while the calls are held
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0].threadId, calls[1].threadId);
    standIn.ReleaseBlocked();
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(returned.load(), 2);
    EXPECT_EQ(results[0].load(), 42u);
    EXPECT_EQ(results[1].load(), 42u);
    EXPECT_EQ(standIn.BlockedCount(), 0u);
    for (const auto& call : calls) {
        EXPECT_TRUE(call.blocking);
        EXPECT_TRUE(call.threadId == threadIds[0] || call.threadId == threadIds[1]);
    }
    standIn.Reset();
    EXPECT_EQ(standIn.CallCount(), 0u);
}

TEST(RecordingStandIn, AppendsRecordsToLogFile) {
    const MapiStandIn standIn(Recording());
    ASSERT_TRUE(standIn.Valid()) << kNotStandIn;
    standIn.Reset();
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring log = std::wstring(dir) + L"zobrik-standin-mapi.log";
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"ZOBRIK_MAPI_LOG", log.c_str());
    zobrik::MapiMessageW message{};
    const auto send = SendEntry(Recording());
    send(0, 0, &message, 0, 0);
    send(0, 0, &message, 0, 0);
    SetEnvironmentVariableW(L"ZOBRIK_MAPI_LOG", nullptr);
    std::ifstream in(std::filesystem::path(log), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    DeleteFileW(log.c_str());
    EXPECT_EQ(text.str(), standIn.RawCall(0).value_or("") + standIn.RawCall(1).value_or(""));
}

TEST(RecordingStandIn, IsFoundByItsModuleName) {
    // How the tests reach the copy that the plug-in loaded (from the prefix's
    // system directory): MapiStandIn::Find() looks the module up as "MAPI32".
    ASSERT_NE(Recording(), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"MAPI32"), Recording());
    EXPECT_EQ(MapiStandIn::Find().Module(), Recording());
}

TEST(RecordParser, RejectsMalformedRecords) {
    EXPECT_FALSE(zobrik::standin::ParseMapiRecord("").has_value());
    EXPECT_FALSE(zobrik::standin::ParseMapiRecord("ZobrikMapiCall 1\nindex=0\n").has_value());  // no end
    EXPECT_FALSE(zobrik::standin::ParseMapiRecord("ZobrikMapiCall 1\nindex=x\nend\n").has_value());
}

}  // namespace

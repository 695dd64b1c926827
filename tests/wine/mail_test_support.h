// Helpers of the mail end-to-end tests: a private temp folder per test, the
// recording Simple MAPI stand-in, and sending a request on a fresh channel.
#pragma once

#include <gtest/gtest.h>

#include "mapi_standin_client.h"
#include "test_support.h"
#include "zobrik/mail_request_writer.h"

namespace zobrik::testing {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
// Every file below `directory`, as paths relative to it.
std::vector<std::wstring> FilesBelow(const std::wstring& directory);
// Files and directories (these ending in a backslash), sorted.
std::vector<std::wstring> EntriesBelow(const std::wstring& directory);
void RemoveTree(const std::wstring& directory);

// Unloads the DLL for good: the clients of earlier tests in the same program
// keep their own loads of it. Call it once every reply has arrived, so that
// no worker still runs. False when the DLL stays loaded.
bool UnloadPlugInCompletely(standin::ClientStandIn& client);

// The reply texts of a failed request: "Exception: char const *       <m>" + NUL.
std::vector<uint8_t> ErrorReply(const std::string& message);
const std::vector<uint8_t>& UnknownErrorReply();
const std::vector<uint8_t>& StatusOkReply();

class MailPipelineFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sends the request on a new mail channel (in chunks of `chunk` bytes,
    // 0 for one message) and waits for the one reply.
    std::vector<uint8_t> Exchange(const std::vector<uint8_t>& request, size_t chunk = 0);
    std::shared_ptr<standin::StandInChannel> SendOnNewChannel(const std::vector<uint8_t>& request, size_t chunk = 0);

    // The temp folder this test's requests see, with trailing backslash,
    // and the shared staging directory inside it.
    std::wstring TempFolder() const { return temp_; }
    std::wstring StagingDirectory() const { return temp_ + L"Ema1.tmp\\"; }
    void UseTempFolder(const std::wstring& folder);

    std::unique_ptr<standin::ClientStandIn> client_;
    standin::MapiStandIn mapi_;

private:
    std::wstring temp_;
    std::wstring originalTmp_;
    std::wstring originalTemp_;
};

}  // namespace zobrik::testing

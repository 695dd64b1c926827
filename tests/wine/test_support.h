// Shared helpers of the Wine tests of the plug-in.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "client_standin.h"

namespace zobrik::testing {

using namespace std::chrono_literals;

// Generous: replies come from worker threads under Wine.
constexpr auto kReplyTimeout = 20s;
// How long to wait before concluding that no reply comes.
constexpr auto kSilence = 500ms;

// Options for the stand-in client: the plug-in beside the test program. The
// Simple MAPI variant comes with the Wine prefix that the test registration
// chose (the plug-in loads MAPI32.dll from its system directory alone).
standin::ClientOptions ClientOptionsFromEnvironment();

// A started client: plug-in handed out, initialised, connected.
std::unique_ptr<standin::ClientStandIn> StartedClient();

std::vector<uint8_t> Bytes(const std::string& text);
std::string Text(const std::vector<uint8_t>& bytes);

// A fresh file name in the temp folder for a marker program run.
std::wstring FreshTempFile(const wchar_t* stem);
// Number of lines the marker program has written to `path`.
int MarkerRuns(const std::wstring& path);
// Waits until the marker program has run `count` times.
bool WaitForMarkerRuns(const std::wstring& path, int count, std::chrono::milliseconds timeout);

// The narrow path of the marker program next to the test.
std::string MarkerProgramPath();

// A mail request of the given size: header with totalSize and version, the
// rest zero.
std::vector<uint8_t> MinimalMailRequest(size_t size, uint32_t version = 0);

}  // namespace zobrik::testing

// Test facility of zobrik-send-test.exe: a transport that runs the real
// plug-in DLL inside the process, in the Remote Desktop client stand-in of
// the project's tests, so that the whole program can be tested without a
// Remote Desktop session. Not part of the shipped zobrik-send.exe.
#pragma once

#include <memory>

#include "zobrik/channel_transport.h"

namespace zobrik::send {

// Loads ZobrikWTSDVC.dll from the folder of the running exe (or the file
// that ZOBRIK_SEND_DLL names) into a client stand-in, which hands the DLL a
// channel manager; Open() plays the server side opening a channel. Simple
// MAPI is the system MAPI32 of the Wine prefix, as in the Wine tests.
std::unique_ptr<sdk::ChannelTransport> MakeStandInTransport();

}  // namespace zobrik::send

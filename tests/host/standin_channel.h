// Test facility of the remote side (zobrik-send-test.exe, the C interface's
// tests): an SDK channel transport that runs the real plug-in DLL inside the
// process, in the Remote Desktop client stand-in, so that remote programs
// can be tested without a Remote Desktop session. Never shipped.
#pragma once

#include <memory>

#include "zobrik/channel_transport.h"

namespace zobrik::standin {

// Loads ZobrikWTSDVC.dll from the folder of the running exe (or the file
// that ZOBRIK_SEND_DLL names) into a client stand-in, which hands the DLL a
// channel manager; Open() plays the server side opening a channel. Simple
// MAPI is the system MAPI32 of the Wine prefix, as in the Wine tests.
std::unique_ptr<sdk::ChannelTransport> MakeStandInChannel();

}  // namespace zobrik::standin

// A 32-bit program in a test session (run-in-session.sh): opens channels with
// the SDK's WtsChannel through the 32-bit stand-in wtsapi32.dll and checks
// what comes back. Prints one line per failed check; exit status 0 when all
// hold.
// usage: zobrik_session32_probe.exe <marker.exe of the client side>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "session_pipe.h"
#include "zobrik/wts_channel.h"

namespace {

int failures = 0;

void Check(bool holds, const std::string& what) {
    if (holds) return;
    ++failures;
    std::printf("FAIL: %s\n", what.c_str());
}

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

// A reply longer than one piece joins into the message that was sent.
void EchoJoinsPieces() {
    zobrik::sdk::WtsChannel channel;
    channel.Open(std::string(zobrik::session::kEchoChannel));
    const std::vector<uint8_t> message = Pattern(5000);
    channel.Write(message.data(), message.size());
    const auto reply = channel.Read(std::chrono::seconds(30));
    Check(reply && *reply == message, "the echo of 5000 bytes comes back whole");
}

void ExecReachesTheClient(const std::string& marker) {
    const zobrik::sdk::ExecReply reply = zobrik::sdk::OpenOnClient(marker);
    Check(reply.outcome == zobrik::sdk::ExecOutcome::Okay, "the plug-in opens " + marker);
}

void MailIsHandedOver() {
    zobrik::sdk::MailMessage mail;
    mail.subject = "from a 32-bit program";
    mail.to.push_back(zobrik::sdk::ParseRecipient("ann@example.com"));
    mail.attachments.push_back({"data.bin", Pattern(100000)});
    const zobrik::sdk::MailReply reply = zobrik::sdk::SendMail(std::move(mail));
    Check(reply.HandedOver(), "the mail is handed over (" + reply.text + ")");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: zobrik_session32_probe.exe <marker.exe>\n");
        return 2;
    }
    Check(sizeof(void*) == 4, "this is a 32-bit program");
    try {
        EchoJoinsPieces();
        ExecReachesTheClient(zobrik::sdk::WideToUtf8(argv[1]));
        MailIsHandedOver();
    } catch (const std::exception& e) {
        Check(false, std::string("no exception: ") + e.what());
    }
    std::printf("%d failed checks\n", failures);
    return failures == 0 ? 0 : 1;
}

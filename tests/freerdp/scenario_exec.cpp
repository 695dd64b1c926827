// Scenario "exec": texts on "Zobrik/exec", what xdg-open receives for them,
// and the texts the add-in refuses without running xdg-open.
#include <algorithm>
#include <string>

#include "scenarios.h"

namespace zobrik_e2e {
namespace fs = std::filesystem;
namespace sdk = zobrik::sdk;
namespace {

// Files under the client's home that the scenario opens or must not open.
struct ExecFiles {
    explicit ExecFiles(const fs::path& home)
        : unicode(home / sdk::PathFromUtf8("Документы") / sdk::PathFromUtf8("報告 2024.txt")),
          western(home / sdk::PathFromUtf8("café € résumé.txt")),
          desktopEntry(home / "e2e" / "launcher.desktop"),
          program(home / "e2e" / "tool.sh") {}
    fs::path unicode;       // Cyrillic folder, CJK file name
    fs::path western;       // has a Windows-1252 form
    fs::path desktopEntry;  // a .desktop file: would start a program
    fs::path program;       // an executable regular file
};

// "café € résumé.txt" in Windows-1252: é = E9, € = 80.
const std::string kWesternNameAnsi = "caf\xE9 \x80 r\xE9sum\xE9.txt";

Bytes Plain(const std::string& text) { return ToBytes(text); }

// A text of exactly `size` bytes.
std::string UrlOfLength(size_t size) {
    std::string url = "https://example.com/long/";
    url.resize(size, 'a');
    return url;
}

// Two texts written back to back on one channel: each gets its own reply,
// and xdg-open receives both (the add-in may open them in either order).
void CheckTwoAtOnce(E2eContext& context) {
    std::optional<DynamicChannel> channel = context.OpenChecked(sdk::kExecChannelName, "exec two at once");
    if (!channel) return;
    const std::vector<std::string> texts{"https://example.com/first", "https://example.com/second"};
    const bool written = channel->Write(Plain(texts[0])) && channel->Write(Plain(texts[1]));
    context.Checks().Check(written, "exec two at once: both written");
    const Bytes okay(sdk::kExecOkayReply, sdk::kExecOkayReply + sdk::kExecReplySize);
    for (int i = 1; i <= 2; ++i) {
        const std::optional<Bytes> reply = channel->Read(kReplyTimeout);
        context.Checks().Check(reply == okay, "exec two at once: reply " + std::to_string(i) + " okay",
                               reply ? Printable(*reply) : "no reply");
    }
    std::vector<std::string> opened;
    for (const RecordedCall& call : context.Calls().TakeNew())
        opened.push_back(call.program + " " + Printable(call.arguments));
    std::sort(opened.begin(), opened.end());
    const std::vector<std::string> expected{"xdg-open [\"" + texts[0] + "\"]", "xdg-open [\"" + texts[1] + "\"]"};
    context.Checks().Check(opened == expected, "exec two at once: xdg-open ran once for each text",
                           std::to_string(opened.size()) + " calls");
}

void CheckOpened(E2eContext& context, DynamicChannel& channel, const ExecFiles& files) {
    const std::string url = "https://example.com/zobrik/e2e?q=1&lang=de";
    context.CheckExec(channel, "https address", Plain(url), ExecReplyKind::Okay, url);
    const std::string failing = "https://example.com/zobrik-fail";
    context.CheckExec(channel, "xdg-open fails", Plain(failing), ExecReplyKind::Failed, failing);

    const std::string unicode = sdk::PathToUtf8(files.unicode);
    context.CheckExec(channel, "UTF-8 after the mark", sdk::ExecMessage(unicode, std::nullopt), ExecReplyKind::Okay,
                      unicode);
    const std::string western = sdk::PathToUtf8(files.western);
    const std::string westernAnsi = sdk::PathToUtf8(files.western.parent_path()) + "/" + kWesternNameAnsi;
    context.CheckExec(channel, "Windows-1252 text", sdk::ExecMessage(western, westernAnsi), ExecReplyKind::Okay,
                      western);
    context.CheckExec(channel, "mark after the start is Windows-1252", Plain("https://example.com/?m=\xEF\xBB\xBF"),
                      ExecReplyKind::Okay, "https://example.com/?m=\xC3\xAF\xC2\xBB\xC2\xBF");
    std::string withNul = "https://example.com/a";
    withNul.push_back('\0');
    withNul += "https://example.com/b";
    context.CheckExec(channel, "NUL ends the text", ToBytes(withNul), ExecReplyKind::Okay, "https://example.com/a");
    context.CheckExec(channel, "32767 bytes", Plain(UrlOfLength(32767)), ExecReplyKind::Okay, UrlOfLength(32767));
}

void CheckRefused(E2eContext& context, DynamicChannel& channel, const ExecFiles& files) {
    const auto refused = [&](const std::string& what, const Bytes& message) {
        context.CheckExec(channel, "refuses " + what, message, ExecReplyKind::Failed, std::nullopt);
    };
    refused("32768 bytes", Plain(UrlOfLength(32768)));
    refused("a refused scheme", Plain("ms-msdt:foo"));
    refused("a .desktop file", Plain(sdk::PathToUtf8(files.desktopEntry)));
    refused("an executable file", Plain(sdk::PathToUtf8(files.program)));
    refused("a file on another host", Plain("file://otherhost/x"));
    refused("a text starting with -", Plain("--help"));
    refused("invalid UTF-8 after the mark", Plain("\xEF\xBB\xBFhttps://example.com/\xC3\x28"));
}

}  // namespace

void PrepareExec(const ClientFolders& folders) {
    const ExecFiles files(folders.home);
    fs::create_directories(files.unicode.parent_path());
    fs::create_directories(files.desktopEntry.parent_path());
    WriteWholeFile(files.unicode, "report\n");
    WriteWholeFile(files.western, "resume\n");
    WriteWholeFile(files.desktopEntry, "[Desktop Entry]\nType=Application\nName=e2e\nExec=/bin/true\n");
    WriteWholeFile(files.program, "#!/bin/sh\nexit 0\n");
    fs::permissions(files.program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
}

void RunExec(E2eContext& context) {
    const ExecFiles files(context.Folders().home);
    std::optional<DynamicChannel> channel = context.OpenChecked(sdk::kExecChannelName, "exec");
    if (!channel) return;
    CheckOpened(context, *channel, files);
    CheckRefused(context, *channel, files);
    channel->Close();
    CheckTwoAtOnce(context);
}

}  // namespace zobrik_e2e

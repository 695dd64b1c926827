#include "send_command.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <utility>

#include "zobrik/wts_channel.h"
#include "zobrik/zobrik.h"

namespace zobrik::send {
namespace {

using namespace std::chrono_literals;

// Bad command line: exit 2 with a hint to --help.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Bad input named on a good command line (files, addresses): exit 2.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr const char* kDefaultTransport = "wts";
const std::set<std::string> kKnownTransports = {"wts", "standin"};

// Requests above this size show a progress line while they are written.
constexpr size_t kProgressThreshold = 1024 * 1024;

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }

struct ParsedOptions {
    std::vector<std::pair<std::string, std::string>> options;  // name without "--", value ("" for flags)
    std::vector<std::string> positionals;
    bool help = false;

    size_t Count(const std::string& name) const {
        return static_cast<size_t>(
            std::count_if(options.begin(), options.end(), [&](const auto& o) { return o.first == name; }));
    }
    std::vector<std::string> Values(const std::string& name) const {
        std::vector<std::string> values;
        for (const auto& [n, v] : options)
            if (n == name) values.push_back(v);
        return values;
    }
    // The value of an option that may be given once.
    const std::string* Single(const std::string& name) const {
        if (Count(name) > 1) throw UsageError("--" + name + " is given more than once");
        for (const auto& [n, v] : options)
            if (n == name) return &v;
        return nullptr;
    }
    bool Flag(const std::string& name) const { return Count(name) > 0; }
};

// "--name VALUE", "--name=VALUE" and "--flag"; "--" ends the options.
ParsedOptions ParseOptions(const std::vector<std::string>& args, size_t start, const std::set<std::string>& valued,
                           const std::set<std::string>& flags) {
    ParsedOptions parsed;
    for (size_t i = start; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            parsed.positionals.insert(parsed.positionals.end(), args.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                      args.end());
            break;
        }
        if (IsHelp(arg)) {
            parsed.help = true;
            continue;
        }
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::string name = arg.substr(2);
            std::string value;
            const size_t equals = name.find('=');
            const bool inlineValue = equals != std::string::npos;
            if (inlineValue) {
                value = name.substr(equals + 1);
                name.resize(equals);
            }
            if (valued.count(name)) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
                    value = args[++i];
                }
            } else if (flags.count(name)) {
                if (inlineValue) throw UsageError("--" + name + " takes no value");
            } else {
                throw UsageError("unknown option --" + name);
            }
            parsed.options.emplace_back(std::move(name), std::move(value));
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else {
            parsed.positionals.push_back(arg);
        }
    }
    return parsed;
}

uint64_t ParseNumber(const std::string& name, const std::string& value, uint64_t low, uint64_t high) {
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    if (value.empty() || value.size() > 12 || value.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("--" + name + " needs a whole number from " + range + ", not \"" + value + "\"");
    const uint64_t number = std::stoull(value);
    if (number < low || number > high)
        throw UsageError("--" + name + " needs a whole number from " + range + ", not " + value);
    return number;
}

// --timeout in seconds; 0 and the default `fallback` of sdk::kWaitForever wait without limit.
std::chrono::milliseconds Timeout(const ParsedOptions& parsed, std::chrono::milliseconds fallback) {
    const std::string* value = parsed.Single("timeout");
    if (value == nullptr) return fallback;
    const uint64_t seconds = ParseNumber("timeout", *value, 0, 2000000);
    return seconds == 0 ? sdk::kWaitForever : std::chrono::milliseconds(seconds * 1000);
}

std::string MiB(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// "sending the mail request (12.3 MiB): 45%" on one line of `err`, rewritten
// in place as the percentage grows, for requests above kProgressThreshold;
// the line ends when the last byte is written, or when writing stops early.
class Progress {
public:
    Progress(std::ostream& err, uint64_t total, bool console)
        : err_(err), total_(total), shown_(console && total > kProgressThreshold) {}
    ~Progress() {
        if (shown_ && last_ >= 0 && !ended_) err_ << "\n" << std::flush;
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Update(uint64_t sent) {
        if (!shown_) return;
        const int percent = static_cast<int>(sent * 100 / total_);
        if (percent == last_) return;
        last_ = percent;
        err_ << "\rsending the mail request (" << MiB(total_) << "): " << percent << "%";
        ended_ = sent >= total_;
        err_ << (ended_ ? "\n" : "") << std::flush;
    }

private:
    std::ostream& err_;
    const uint64_t total_;
    const bool shown_;
    int last_ = -1;
    bool ended_ = false;
};

class Command {
public:
    Command(const TransportFactory& transports, std::string transportName, std::ostream& out, std::ostream& err,
            bool errorIsConsole)
        : transports_(transports),
          transportName_(std::move(transportName)),
          out_(out),
          err_(err),
          errorIsConsole_(errorIsConsole) {}

    int Open(const ParsedOptions& parsed) {
        if (parsed.help) return Help();
        if (parsed.positionals.empty()) throw UsageError("open needs a path or address");
        if (parsed.positionals.size() > 1)
            throw UsageError("open takes one path or address (put a path with blanks in quotes)");
        const std::string& target = parsed.positionals[0];
        if (target.empty()) throw UsageError("the path or address is empty");
        const std::chrono::milliseconds timeout = Timeout(parsed, sdk::kDefaultExecTimeout);
        // The plain ANSI form whenever it can carry the text, so that clients
        // with an older plug-in understand it; the UTF-8 form only otherwise.
        const std::vector<uint8_t> text = sdk::ExecMessage(target, sdk::AnsiFormOf(target));

        const std::unique_ptr<sdk::ChannelTransport> transport = MakeTransport();
        const sdk::ExecReply reply = sdk::OpenOnClient(*transport, text, timeout);
        switch (reply.outcome) {
            case sdk::ExecOutcome::Okay:
                out_ << "opened\n";
                return kExitOk;
            case sdk::ExecOutcome::Failed:
                err_ << "zobrik-send: the client's shell could not open it\n";
                return kExitPluginFailed;
            case sdk::ExecOutcome::ProtocolError:
                break;
        }
        err_ << "zobrik-send: not a reply of the plug-in: " << reply.problem << "\n";
        return kExitTransport;
    }

    int Mail(const ParsedOptions& parsed) {
        if (parsed.help) return Help();
        if (!parsed.positionals.empty())
            throw UsageError("unexpected argument \"" + parsed.positionals[0] + "\" (attach files with --attach)");
        sdk::SendOptions options;
        options.timeout = Timeout(parsed, sdk::kWaitForever);
        if (const std::string* value = parsed.Single("chunk-size"))
            options.chunkSize = static_cast<size_t>(
                ParseNumber("chunk-size", *value, sdk::kMinMailChunkSize, sdk::kMaxMailRequestSize));

        sdk::MailMessage mail;
        // Cheap checks first; nothing is read or sent while the command line is wrong.
        const std::pair<const char*, std::vector<sdk::Recipient>*> groups[] = {
            {"from", &mail.from}, {"sender", &mail.sender}, {"to", &mail.to}, {"cc", &mail.cc}, {"bcc", &mail.bcc}};
        for (const auto& [name, group] : groups) {
            for (const std::string& value : parsed.Values(name)) {
                try {
                    group->push_back(sdk::ParseRecipient(value));
                } catch (const sdk::RecipientError& e) {
                    throw InputError(std::string("--") + name + ": " + e.what());
                }
            }
        }
        if (!mail.HasRecipient()) throw UsageError("the mail needs a recipient: give --to, --cc or --bcc");
        const std::string* body = parsed.Single("body");
        const std::string* bodyFile = parsed.Single("body-file");
        if (body != nullptr && bodyFile != nullptr) throw UsageError("give --body or --body-file, not both");
        if (const std::string* subject = parsed.Single("subject")) mail.subject = *subject;
        mail.htmlBody = parsed.Flag("html");
        mail.preferOutlook = parsed.Flag("outlook");
        mail.sendImmediately = parsed.Flag("send-now");

        if (body != nullptr) mail.body = *body;
        if (bodyFile != nullptr) mail.body = ReadBodyFile(*bodyFile);
        for (const std::string& file : parsed.Values("attach")) {
            try {
                mail.attachments.push_back(sdk::LoadAttachment(sdk::PathFromUtf8(file)));
            } catch (const sdk::FileReadError& e) {
                throw InputError(std::string("cannot attach ") + e.what());
            }
        }
        std::vector<uint8_t> request;
        try {
            request = sdk::BuildMailRequest(std::move(mail));
        } catch (const sdk::MailRequestError& e) {
            throw InputError(e.what());
        }

        const std::unique_ptr<sdk::ChannelTransport> transport = MakeTransport();
        sdk::MailReply reply;
        {
            Progress progress(err_, request.size(), errorIsConsole_);
            options.progress = [&progress](uint64_t sent, uint64_t) { progress.Update(sent); };
            reply = sdk::SendMailRequest(*transport, std::move(request), options);
        }
        if (reply.HandedOver()) {
            out_ << "handed over to the mail program\n";
            return kExitOk;
        }
        err_ << "zobrik-send: " << sdk::DescribeMailReply(reply) << "\n";
        return reply.kind == sdk::MailReplyKind::ProtocolError ? kExitTransport : kExitPluginFailed;
    }

private:
    int Help() {
        out_ << UsageText();
        return kExitOk;
    }

    std::unique_ptr<sdk::ChannelTransport> MakeTransport() {
        std::unique_ptr<sdk::ChannelTransport> transport = transports_ ? transports_(transportName_) : nullptr;
        if (!transport) throw InputError("this build of zobrik-send has no \"" + transportName_ + "\" transport");
        return transport;
    }

    // The body file: UTF-8 text (a leading byte order mark is dropped), or
    // UTF-16 with its byte order mark (what Windows PowerShell 5.1 writes).
    static std::string ReadBodyFile(const std::string& file) {
        std::vector<uint8_t> bytes;
        try {
            bytes = sdk::ReadFileBytes(sdk::PathFromUtf8(file), sdk::kMaxAttachmentSize);
        } catch (const sdk::FileReadError& e) {
            throw InputError(std::string("cannot read the body file ") + e.what());
        }
        std::string text(bytes.begin(), bytes.end());
        if (auto converted = FromUtf16WithMark(bytes, file)) text = std::move(*converted);
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
        if (text.find('\0') != std::string::npos)
            throw InputError("the body file \"" + file + "\" contains a zero byte; it must be UTF-8 text");
        if (!sdk::IsValidUtf8(text))
            throw InputError("the body file \"" + file + "\" is not UTF-8 text; save it as UTF-8");
        return text;
    }

    // The UTF-8 form of a file that begins with a UTF-16 byte order mark
    // (FF FE little-endian, FE FF big-endian); nullopt for any other file.
    static std::optional<std::string> FromUtf16WithMark(const std::vector<uint8_t>& bytes, const std::string& file) {
        if (bytes.size() < 2) return std::nullopt;
        const bool little = bytes[0] == 0xFF && bytes[1] == 0xFE;
        const bool big = bytes[0] == 0xFE && bytes[1] == 0xFF;
        if (!little && !big) return std::nullopt;
        if (bytes.size() % 2 != 0)
            throw InputError("the body file \"" + file + "\" is not UTF-16 text: it has an odd number of bytes");
        std::wstring wide;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            wide += wchar_t(little ? bytes[i] | bytes[i + 1] << 8 : bytes[i] << 8 | bytes[i + 1]);
        }
        const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                             nullptr, nullptr);
        if (size <= 0 && !wide.empty()) throw InputError("the body file \"" + file + "\" is not valid UTF-16 text");
        std::string utf8(size_t(size > 0 ? size : 0), '\0');
        if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), size, nullptr, nullptr);
        return utf8;
    }

    const TransportFactory& transports_;
    const std::string transportName_;
    std::ostream& out_;
    std::ostream& err_;
    const bool errorIsConsole_;
};

int Run(const Invocation& invocation, const TransportFactory& transports, std::ostream& out, std::ostream& err) {
    // --transport is a test facility and may stand anywhere before "--".
    std::vector<std::string> args;
    std::string transportName = invocation.defaultTransport.empty() ? kDefaultTransport : invocation.defaultTransport;
    for (size_t i = 0; i < invocation.args.size(); ++i) {
        const std::string& arg = invocation.args[i];
        if (arg == "--") {
            args.insert(args.end(), invocation.args.begin() + static_cast<std::ptrdiff_t>(i), invocation.args.end());
            break;
        }
        if (arg == "--transport") {
            if (i + 1 >= invocation.args.size()) throw UsageError("--transport needs a value");
            transportName = invocation.args[++i];
        } else if (arg.compare(0, 12, "--transport=") == 0) {
            transportName = arg.substr(12);
        } else {
            args.push_back(arg);
        }
    }
    if (!kKnownTransports.count(transportName)) throw UsageError("unknown transport \"" + transportName + "\"");

    if (args.empty()) throw UsageError("no command given");
    const std::string& command = args[0];
    Command run(transports, transportName, out, err, invocation.errorIsConsole);
    if (IsHelp(command) || command == "help") {
        out << UsageText();
        return kExitOk;
    }
    if (command == "--version" || command == "version") {
        out << "zobrik-send " << ZOBRIK_VERSION << "\n";
        return kExitOk;
    }
    if (command == "open") return run.Open(ParseOptions(args, 1, {"timeout"}, {}));
    if (command == "mail") {
        return run.Mail(ParseOptions(
            args, 1,
            {"to", "cc", "bcc", "from", "sender", "subject", "body", "body-file", "attach", "timeout", "chunk-size"},
            {"html", "outlook", "send-now"}));
    }
    throw UsageError("unknown command \"" + command + "\"");
}

}  // namespace

int RunZobrikSend(const Invocation& invocation, const TransportFactory& transports, std::ostream& out,
                  std::ostream& err) {
    try {
        return Run(invocation, transports, out, err);
    } catch (const UsageError& e) {
        err << "zobrik-send: " << e.what() << "\n"
            << "Try 'zobrik-send --help'.\n";
        return kExitBadInput;
    } catch (const InputError& e) {
        err << "zobrik-send: " << e.what() << "\n";
        return kExitBadInput;
    } catch (const sdk::ChannelError& e) {
        err << "zobrik-send: " << e.what() << "\n";
        return kExitTransport;
    } catch (const std::bad_alloc&) {
        err << "zobrik-send: out of memory\n";
        return kExitBadInput;
    } catch (const std::exception& e) {
        err << "zobrik-send: " << e.what() << "\n";
        return kExitTransport;
    }
}

std::string UsageText() {
    return R"(usage:
  zobrik-send open [--timeout SECONDS] [--] PATH-OR-ADDRESS
  zobrik-send mail --to ADDR [options]
  zobrik-send --help
  zobrik-send --version

Runs in a Remote Desktop session and has the Zobrik plug-in of the user's
Remote Desktop client act on the client computer.

open     Opens PATH-OR-ADDRESS with the shell of the client computer: a path
         there (C:\Tools\report.xlsx) or an address (https://example.com).
         Prints "opened".

mail     Hands a mail to the mail program of the client computer, which
         normally shows it for the user to send. Prints "handed over to the
         mail program".
  --to ADDR          primary recipient (repeatable)
  --cc ADDR          copy recipient (repeatable)
  --bcc ADDR         blind-copy recipient (repeatable)
  --from ADDR        originator, the account to send from (repeatable)
  --sender ADDR      originator the mail is sent on behalf of (repeatable)
  --subject TEXT     the subject
  --body TEXT        the body
  --body-file FILE   the body, read from a text file in UTF-8, or UTF-16
                     with its byte order mark
  --html             the body is HTML
  --attach FILE      attaches a file of this computer (repeatable)
  --outlook          hands the mail to Outlook, or to the mail program
                     when Outlook is not available
  --send-now         Outlook sends the mail at once; other mail programs
                     show it without blocking
  --chunk-size BYTES size of the channel writes (default 65536, at least 16)
  ADDR is "name@example.com" or "Display Name <name@example.com>" (quote it).
  Display names reach the mail program on the Outlook route (--outlook)
  only; Simple MAPI gets the addresses alone.
  At least one --to, --cc or --bcc is needed.

  --timeout SECONDS  how long to wait for the reply; 0 waits without limit.
                     Default: 60 for open; none for mail, whose reply comes
                     when the user has closed the mail program's window.

Options take their value as the next argument or after '=': --to=ann@example.com

Exit codes:
  0  opened, or handed over to the mail program
  1  the client's shell could not open it, or the plug-in reported an error
  2  usage error or bad input (missing file, bad address); nothing was sent
  3  the channel is not available, or no valid reply came
)";
}

}  // namespace zobrik::send

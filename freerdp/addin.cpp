// The FreeRDP dynamic channel add-in, built for FreeRDP 2 and for FreeRDP 3
// from this one source: "xfreerdp /dvc:zobrik" (or xfreerdp3) loads
// libzobrik-client.so and calls DVCPluginEntry. The add-in listens on
// "Zobrik/exec" and "Zobrik/mail" (unless the policy switches one off) and
// serves each channel's requests on the workers of
// plugin/posix/request_workers.h, with the reassembly, decoding, limits and
// replies of the Windows plug-in.
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <freerdp/dvc.h>
#include <winpr/error.h>
#include <winpr/stream.h>

#include "exec/exec_policy.h"
#include "freerdp/channel_link.h"
#include "include/debug_output.h"
#include "include/utf_conversion.h"
#include "mail/posix/attachment_staging.h"
#include "plugin/admin_policy_values.h"
#include "plugin/exception_text.h"
#include "plugin/idle_mail_requests.h"
#include "plugin/mail_reply.h"
#include "plugin/policy_file.h"
#include "plugin/posix/idle_sweep_timer.h"
#include "plugin/posix/request_workers.h"
#include "sdk/zobrik/channels.h"

namespace zobrik {

namespace {

// FreeRDP calls back with the pointer to the interface it was given; the
// owner is found through the pointer stored beside it. (A struct of two
// plain members has its first member at its start.)
template <class Interface, class Owner>
struct Bound {
    Interface iface;
    Owner* owner;
};

template <class Owner, class Interface>
Owner& OwnerOf(Interface* iface) {
    return *reinterpret_cast<Bound<Interface, Owner>*>(iface)->owner;
}

// Writes the event "<what>: <the failure>" to the log; FreeRDP's answer for
// it is CHANNEL_RC_NO_MEMORY when memory ran out, ERROR_INTERNAL_ERROR
// otherwise.
UINT ReportFailure(const char* what, const std::exception_ptr& failure) noexcept {
    try {
        const std::string line = std::string(what) + ": " + DescribeFailure(failure);
        DebugEvent(Utf8ToUtf16Lenient(line).c_str(), DebugLevel::Warning);
    } catch (...) {
        DebugOutputNarrow(what, DebugLevel::Warning);  // out of memory for the line
    }
    return IsOutOfMemory(failure) ? CHANNEL_RC_NO_MEMORY : ERROR_INTERNAL_ERROR;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The file's content, or nothing when it is missing, unreadable or too long.
std::optional<std::string> ReadPolicyFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string content(kLongestPolicyFileBytes + 1, '\0');
    file.read(content.data(), std::streamsize(content.size()));
    content.resize(size_t(file.gcount()));
    if (content.size() > kLongestPolicyFileBytes) {
        DebugOutputNarrow(("policy file ignored, longer than 256 KiB: " + path).c_str(), DebugLevel::Warning);
        return std::nullopt;
    }
    return content;
}

AdminPolicy ReadPolicy() {
    const std::optional<std::string> system = ReadPolicyFile(kSystemPolicyFile);
    const std::optional<std::string> user =
        ReadPolicyFile(UserPolicyFile(Environment("XDG_CONFIG_HOME"), Environment("HOME")));
    return PolicyFromHives(ParsePolicyFile(system.value_or(""), ZOBRIK_WIDE("system")),
                           ParsePolicyFile(user.value_or(""), ZOBRIK_WIDE("user")));
}

// One open channel of either kind.
class ChannelCallback {
public:
    ChannelCallback(IWTSVirtualChannel* channel, const SharedAdminPolicy& policy,
                    const std::shared_ptr<const RequestServer>& server)
        : link_(std::make_shared<ChannelLink>(channel)), context_{link_, policy, server} {
        bound_.iface.OnDataReceived = &ChannelCallback::OnDataReceived;
        bound_.iface.OnOpen = &ChannelCallback::OnOpen;
        bound_.iface.OnClose = &ChannelCallback::OnClose;
        bound_.owner = this;
    }
    virtual ~ChannelCallback() = default;
    ChannelCallback(const ChannelCallback&) = delete;
    ChannelCallback& operator=(const ChannelCallback&) = delete;

    IWTSVirtualChannelCallback* Interface() noexcept { return &bound_.iface; }

protected:
    virtual void Receive(const uint8_t* data, size_t size) = 0;

    SharedChannelLink link_;
    RequestContext context_;

private:
    static UINT OnDataReceived(IWTSVirtualChannelCallback* iface, wStream* data) {
        try {
            const size_t size = Stream_GetRemainingLength(data);
            // (a byte pointer in FreeRDP 2, void* in FreeRDP 3)
            OwnerOf<ChannelCallback>(iface).Receive(static_cast<const uint8_t*>(Stream_Pointer(data)), size);
        } catch (...) {
            // The request is dropped; the channel and the session go on.
            ReportFailure("request dropped", std::current_exception());
        }
        return CHANNEL_RC_OK;
    }

    static UINT OnOpen(IWTSVirtualChannelCallback*) { return CHANNEL_RC_OK; }

    // FreeRDP frees the channel after this returns; the callback goes with it.
    static UINT OnClose(IWTSVirtualChannelCallback* iface) {
        std::unique_ptr<ChannelCallback> owned(&OwnerOf<ChannelCallback>(iface));
        owned->link_->Close();
        return CHANNEL_RC_OK;
    }

    Bound<IWTSVirtualChannelCallback, ChannelCallback> bound_{};
};

class ExecChannel final : public ChannelCallback {
public:
    using ChannelCallback::ChannelCallback;

private:
    // The text ends at the first NUL byte or at the end of the message. A
    // text longer than the shell takes is refused whatever follows, so a
    // request keeps one byte more than that at most while it waits.
    void Receive(const uint8_t* data, size_t size) override {
        const std::string_view text = ExecText(std::string_view(reinterpret_cast<const char*>(data), size));
        SubmitExecRequest(std::string(text.substr(0, kLongestExecText + 1)), context_);
    }
};

// A mail channel's request, answered on its channel when it times out.
class MailChannelRequest final : public WatchedMailRequest {
public:
    MailChannelRequest(const SharedReplyChannel& channel, const AdminPolicy& policy)
        : WatchedMailRequest(&MailBufferBudget(), policy.mailMaxRequestBytes,
                             uint64_t(policy.mailRequestIdleSeconds) * 1000),
          channel_(channel) {}

private:
    void Answer(const char* text) noexcept override {
        DebugEvent(ZOBRIK_WIDE("Mail: request timed out, nothing arrived for its idle time (MailRequestIdleSeconds)"),
                   DebugLevel::Info);
        ReplyWithRefusal(*channel_, text);
    }

    SharedReplyChannel channel_;
};

// The idle sweep (plugin/posix/idle_sweep_timer.h) ends a request that stops arriving
// halfway; the request goes with the channel, and the sweep forgets it.
class MailChannel final : public ChannelCallback {
public:
    MailChannel(IWTSVirtualChannel* channel, const SharedAdminPolicy& policy,
                const std::shared_ptr<const RequestServer>& server)
        : ChannelCallback(channel, policy, server),
          request_(std::make_shared<MailChannelRequest>(context_.channel, *policy)) {
        WatchForIdleness(request_);
    }
    ~MailChannel() override { request_->Reset(); }
    MailChannel(const MailChannel&) = delete;
    MailChannel& operator=(const MailChannel&) = delete;

private:
    void Receive(const uint8_t* data, size_t size) override {
        WatchedMailRequest::Arrival arrival = request_->Append(data, size, IdleClockNow());
        if (arrival.refusal) {
            // Answered at once; the rest of the request is dropped unbuffered.
            ReplyWithRefusal(*context_.channel, arrival.refusal);
            return;
        }
        if (arrival.complete) SubmitMailRequest(std::move(*arrival.complete), MailBufferBudget(), context_);
    }

    std::shared_ptr<WatchedMailRequest> request_;
};

// The listener of one channel name: every connection gets a callback.
template <class Channel>
class Listener {
public:
    Listener(SharedAdminPolicy policy, std::shared_ptr<const RequestServer> server)
        : policy_(std::move(policy)), server_(std::move(server)) {
        bound_.iface.OnNewChannelConnection = &Listener::OnNewChannelConnection;
        bound_.owner = this;
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    IWTSListenerCallback* Interface() noexcept { return &bound_.iface; }

private:
    static UINT OnNewChannelConnection(IWTSListenerCallback* iface, IWTSVirtualChannel* channel, BYTE*, BOOL* accept,
                                       IWTSVirtualChannelCallback** callback) {
        Listener& self = OwnerOf<Listener>(iface);
        *accept = FALSE;
        try {
            auto created = std::make_unique<Channel>(channel, self.policy_, self.server_);
            *callback = created.release()->Interface();  // freed in OnClose
            *accept = TRUE;
            return CHANNEL_RC_OK;
        } catch (...) {
            return ReportFailure("channel refused", std::current_exception());
        }
    }

    SharedAdminPolicy policy_;
    std::shared_ptr<const RequestServer> server_;
    Bound<IWTSListenerCallback, Listener> bound_{};
};

// FreeRDP keeps an add-in loaded until the client process ends; then the
// files still kept for the mail program are removed (a client that dies
// leaves them to the next client's sweep of abandoned folders).
struct KeptFilesRemovedAtExit {
    KeptFilesRemovedAtExit() = default;
    KeptFilesRemovedAtExit(const KeptFilesRemovedAtExit&) = delete;
    KeptFilesRemovedAtExit& operator=(const KeptFilesRemovedAtExit&) = delete;
    ~KeptFilesRemovedAtExit() { RemoveKeptStagingAreas(); }
};
const KeptFilesRemovedAtExit kKeptFilesRemovedAtExit;

class Plugin {
public:
    Plugin() {
        bound_.iface.Initialize = &Plugin::Initialize;
        bound_.iface.Terminated = &Plugin::Terminated;
        bound_.owner = this;
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    IWTSPlugin* Interface() noexcept { return &bound_.iface; }

private:
    // Reads the policy once per connection, as the Windows plug-in does per
    // plug-in object, and listens on the channels it allows.
    static UINT Initialize(IWTSPlugin* iface, IWTSVirtualChannelManager* manager) {
        try {
            Plugin& self = OwnerOf<Plugin>(iface);
            auto policy = std::make_shared<const AdminPolicy>(ReadPolicy());
            const std::string root = StagingDirectoryPath();
            SweepAbandonedStagingAreas(root);
            if (!self.sweepStarted_) StartIdleSweep();
            self.sweepStarted_ = true;
            const auto server = MakeRequestServer(root);
            Listen(manager, self.exec_, policy->execChannel, sdk::kExecChannelName, policy, server);
            Listen(manager, self.mail_, policy->mailChannel, sdk::kMailChannelName, policy, server);
            return CHANNEL_RC_OK;
        } catch (...) {
            return ReportFailure("channels not offered", std::current_exception());
        }
    }

    template <class Channel>
    static void Listen(IWTSVirtualChannelManager* manager, std::unique_ptr<Listener<Channel>>& listener, bool offered,
                       const char* name, const SharedAdminPolicy& policy,
                       const std::shared_ptr<const RequestServer>& server) {
        if (!offered) {
            DebugOutputNarrow((std::string(name) + " not offered: switched off by the policy").c_str(),
                              DebugLevel::Info);
            return;
        }
        listener = std::make_unique<Listener<Channel>>(policy, server);
        const UINT result = manager->CreateListener(manager, name, 0, listener->Interface(), nullptr);
        if (result != CHANNEL_RC_OK) {
            // FreeRDP kept nothing of it (another add-in listens on the name).
            listener.reset();
            DebugOutputNarrow(
                (std::string(name) + " not offered: FreeRDP refused the listener, error " + std::to_string(result))
                    .c_str(),
                DebugLevel::Warning);
            return;
        }
        // "xfreerdp /dvc:zobrik" with WLOG_FILTER=com.zobrik.wtsdvc:DEBUG
        // shows that the add-in loaded.
        DebugOutputNarrow((std::string(name) + " offered").c_str(), DebugLevel::Debug);
    }

    // The connection ended (FreeRDP ends the plug-in at every
    // disconnection, also before it reconnects by itself): the plug-in
    // object goes with its listeners. The files kept for the mail program
    // stay for its compose windows; they go when the client ends
    // (KeptFilesRemovedAtExit).
    static UINT Terminated(IWTSPlugin* iface) {
        std::unique_ptr<Plugin> owned(&OwnerOf<Plugin>(iface));
        if (owned->sweepStarted_) StopIdleSweep();
        return CHANNEL_RC_OK;
    }

    std::unique_ptr<Listener<ExecChannel>> exec_;
    std::unique_ptr<Listener<MailChannel>> mail_;
    bool sweepStarted_ = false;
    Bound<IWTSPlugin, Plugin> bound_{};
};

}  // namespace

}  // namespace zobrik

extern "C" __attribute__((visibility("default"))) UINT DVCPluginEntry(IDRDYNVC_ENTRY_POINTS* entryPoints) {
    try {
        if (entryPoints == nullptr) return CHANNEL_RC_BAD_INIT_HANDLE;
        auto plugin = std::make_unique<zobrik::Plugin>();
        const UINT result = entryPoints->RegisterPlugin(entryPoints, "zobrik", plugin->Interface());
        if (result == CHANNEL_RC_OK) static_cast<void>(plugin.release());  // FreeRDP owns it now; freed in Terminated
        return result;
    } catch (...) {
        return zobrik::ReportFailure("add-in not registered", std::current_exception());
    }
}

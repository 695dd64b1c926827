#include "rdp_session.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include <arpa/inet.h>
#include <freerdp/channels/channels.h>
#include <freerdp/channels/wtsvc.h>
#include <freerdp/settings.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <winpr/crt.h>
#include <winpr/synch.h>
#include <winpr/wtsapi.h>

namespace zobrik_e2e {
namespace {

const Clock::time_point kStart = Clock::now();

// The peer's context: FreeRDP allocates ContextSize bytes and hands out the
// rdpContext at their start.
struct PeerContext {
    rdpContext base;
    HANDLE manager;
};

BOOL OnContextNew(freerdp_peer* peer, rdpContext* context) {
    auto* own = reinterpret_cast<PeerContext*>(context);
    own->manager = WTSOpenServerA(reinterpret_cast<LPSTR>(peer->context));
    return own->manager != nullptr && own->manager != INVALID_HANDLE_VALUE;
}

void OnContextFree(freerdp_peer*, rdpContext* context) {
    auto* own = reinterpret_cast<PeerContext*>(context);
    if (own->manager != nullptr && own->manager != INVALID_HANDLE_VALUE) WTSCloseServer(own->manager);
    own->manager = nullptr;
}

BOOL AcceptAnyLogon(freerdp_peer*) { return TRUE; }

// The listener calls back with each accepted peer; the first one is kept.
BOOL OnPeerAccepted(freerdp_listener* listener, freerdp_peer* peer) {
    if (listener->param1 != nullptr) return FALSE;
    listener->param1 = peer;
    return TRUE;
}

// A listening TCP socket on 127.0.0.1 with a kernel-chosen port.
int ListenOnFreePort(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

double SecondsSinceStart() { return std::chrono::duration<double>(Clock::now() - kStart).count(); }

DWORD SessionIdOf(HANDLE manager) {
    LPSTR buffer = nullptr;
    DWORD size = 0;
    if (!WTSQuerySessionInformationA(manager, WTS_CURRENT_SESSION, WTSSessionId, &buffer, &size) || buffer == nullptr)
        throw std::runtime_error("WTSQuerySessionInformation(WTSSessionId) failed");
    const DWORD id = *reinterpret_cast<ULONG*>(buffer);
    WTSFreeMemory(buffer);
    return id;
}

// Ready: TRUE/FALSE; nothing when the client refused or closed the channel.
std::optional<bool> ChannelReady(HANDLE channel) {
    void* buffer = nullptr;
    DWORD size = 0;
    if (!WTSVirtualChannelQuery(channel, WTSVirtualChannelReady, &buffer, &size)) return std::nullopt;
    const bool ready = buffer != nullptr && *static_cast<BOOL*>(buffer) != FALSE;
    WTSFreeMemory(buffer);
    return ready;
}

HANDLE ChannelEvent(HANDLE channel) {
    void* buffer = nullptr;
    DWORD size = 0;
    HANDLE event = nullptr;
    if (WTSVirtualChannelQuery(channel, WTSVirtualEventHandle, &buffer, &size) && size == sizeof(HANDLE))
        event = *static_cast<HANDLE*>(buffer);
    WTSFreeMemory(buffer);
    return event;
}

}  // namespace

void Note(const std::string& text) {
    std::printf("server %7.3f: %s\n", SecondsSinceStart(), text.c_str());
    std::fflush(stdout);
}

void ListenerDeleter::operator()(freerdp_listener* listener) const {
    listener->Close(listener);
    freerdp_listener_free(listener);
}

RdpListener::RdpListener() : listener_(freerdp_listener_new()) {
    if (!listener_) throw std::runtime_error("freerdp_listener_new failed");
    listener_->PeerAccepted = OnPeerAccepted;
    const int fd = ListenOnFreePort(port_);
    if (!listener_->OpenFromSocket(listener_.get(), fd)) {
        close(fd);
        throw std::runtime_error("the listener does not take the socket");
    }
}

freerdp_peer* RdpListener::AcceptOne(Millis timeout) {
    listener_->param1 = nullptr;
    const auto deadline = Clock::now() + timeout;
    while (listener_->param1 == nullptr && Clock::now() < deadline) {
        HANDLE handles[32];
        const DWORD count = listener_->GetEventHandles(listener_.get(), handles, 32);
        if (count == 0 || WaitForMultipleObjects(count, handles, FALSE, 100) == WAIT_FAILED) break;
        if (!listener_->CheckFileDescriptor(listener_.get())) break;
    }
    return static_cast<freerdp_peer*>(listener_->param1);
}

DynamicChannel::DynamicChannel(DynamicChannel&& other) noexcept : session_(other.session_), handle_(other.handle_) {
    other.handle_ = nullptr;
}

DynamicChannel::~DynamicChannel() { Close(); }

void DynamicChannel::Close() {
    if (handle_ == nullptr) return;
    WTSVirtualChannelClose(handle_);
    handle_ = nullptr;
}

bool DynamicChannel::Write(const uint8_t* data, size_t size) {
    if (handle_ == nullptr) return false;
    ULONG written = 0;
    auto* bytes = const_cast<PCHAR>(reinterpret_cast<const char*>(data));
    return WTSVirtualChannelWrite(handle_, bytes, static_cast<ULONG>(size), &written) && written == size;
}

uint32_t DynamicChannel::Id() const { return handle_ != nullptr ? WTSChannelGetIdByHandle(handle_) : 0; }

bool DynamicChannel::ClosedByClient() { return handle_ != nullptr && !ChannelReady(handle_).has_value(); }

std::optional<Bytes> DynamicChannel::TakeMessage() {
    ULONG available = 0;
    if (!WTSVirtualChannelRead(handle_, 0, nullptr, 0, &available) || available == 0) return std::nullopt;
    Bytes message(available);
    ULONG got = 0;
    if (!WTSVirtualChannelRead(handle_, 0, reinterpret_cast<PCHAR>(message.data()), available, &got))
        return std::nullopt;
    message.resize(got);
    return message;
}

std::optional<Bytes> DynamicChannel::Read(Millis timeout) {
    if (handle_ == nullptr) return std::nullopt;
    HANDLE event = ChannelEvent(handle_);
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (auto message = TakeMessage()) return message;
        if (Clock::now() >= deadline || !session_->Pump(Millis(20), event)) return std::nullopt;
        if (!ChannelReady(handle_)) return std::nullopt;
    }
}

RdpSession::RdpSession(freerdp_peer* peer, const TlsFiles& files) : peer_(peer) {
    peer_->ContextSize = sizeof(PeerContext);
    peer_->ContextNew = OnContextNew;
    peer_->ContextFree = OnContextFree;
    if (!freerdp_peer_context_new(peer_)) {
        freerdp_peer_free(peer_);
        throw std::runtime_error("freerdp_peer_context_new failed");
    }
    manager_ = reinterpret_cast<PeerContext*>(peer_->context)->manager;
    rdpSettings* settings = peer_->context->settings;
    if (!SetServerIdentity(settings, files) || !freerdp_settings_set_bool(settings, FreeRDP_RdpSecurity, TRUE) ||
        !freerdp_settings_set_bool(settings, FreeRDP_TlsSecurity, TRUE) ||
        !freerdp_settings_set_bool(settings, FreeRDP_NlaSecurity, FALSE) ||
        !freerdp_settings_set_uint32(settings, FreeRDP_EncryptionLevel, ENCRYPTION_LEVEL_CLIENT_COMPATIBLE) ||
        !freerdp_settings_set_uint32(settings, FreeRDP_ColorDepth, 32) ||
        !freerdp_settings_set_bool(settings, FreeRDP_RemoteFxCodec, FALSE) ||
        !freerdp_settings_set_bool(settings, FreeRDP_NSCodec, FALSE) ||
        !freerdp_settings_set_bool(settings, FreeRDP_SupportGraphicsPipeline, FALSE) ||
        !freerdp_settings_set_uint32(settings, FreeRDP_MultifragMaxRequestSize, 0xFFFFFF)) {
        freerdp_peer_context_free(peer_);
        freerdp_peer_free(peer_);
        throw std::runtime_error("the server's settings cannot be made");
    }
    peer_->PostConnect = AcceptAnyLogon;
    peer_->Activate = AcceptAnyLogon;
    if (!peer_->Initialize(peer_)) alive_ = false;
}

RdpSession::~RdpSession() {
    Disconnect();
    freerdp_peer_context_free(peer_);
    freerdp_peer_free(peer_);
}

void RdpSession::Disconnect() {
    if (disconnected_) return;
    disconnected_ = true;
    if (alive_) {
        // Deactivate-all and the MCS disconnect ultimatum: the client logs
        // off instead of reporting a broken connection.
        peer_->Close(peer_);
    }
    peer_->Disconnect(peer_);
    alive_ = false;
}

void RdpSession::Drop() {
    if (disconnected_) return;
    disconnected_ = true;
    peer_->Disconnect(peer_);
    alive_ = false;
}

bool RdpSession::Pump(Millis wait, void* extra) {
    if (!alive_) return false;
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    DWORD count = peer_->GetEventHandles(peer_, handles, MAXIMUM_WAIT_OBJECTS - 2);
    if (count == 0) return alive_ = false;
    handles[count++] = WTSVirtualChannelManagerGetEventHandle(manager_);
    if (extra != nullptr) handles[count++] = extra;
    if (WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(wait.count())) == WAIT_FAILED)
        return alive_ = false;
    if (!peer_->CheckFileDescriptor(peer_)) return alive_ = false;
    // The channel manager opens its dynamic channel support at its first
    // service and never again (FreeRDP 3), so it is first serviced once the
    // client is active and has joined "drdynvc".
    if (!peer_->activated || !WTSVirtualChannelManagerIsChannelJoined(manager_, "drdynvc")) return true;
    if (!WTSVirtualChannelManagerCheckFileDescriptor(manager_)) return alive_ = false;
    return true;
}

bool RdpSession::PumpFor(Millis duration) {
    const auto until = Clock::now() + duration;
    while (Clock::now() < until)
        if (!Pump(Millis(20))) return false;
    return true;
}

bool RdpSession::WriteDynamicChannelPdu(const Bytes& pdu) {
    // The static channel that carries the dynamic ones; the manager owns it,
    // so it is never closed here.
    HANDLE drdynvc = WTSVirtualChannelOpen(manager_, WTS_CURRENT_SESSION, const_cast<LPSTR>("drdynvc"));
    if (drdynvc == nullptr) return false;
    ULONG written = 0;
    auto* bytes = const_cast<PCHAR>(reinterpret_cast<const char*>(pdu.data()));
    return WTSVirtualChannelWrite(drdynvc, bytes, static_cast<ULONG>(pdu.size()), &written) && written == pdu.size();
}

bool RdpSession::WaitUntilDynamicChannelsReady(Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (!Pump(Millis(50))) return false;
        if (!WTSVirtualChannelManagerIsChannelJoined(manager_, "drdynvc")) continue;
        const BYTE state = WTSVirtualChannelManagerGetDrdynvcState(manager_);
        if (state == DRDYNVC_STATE_READY) return true;
        if (state == DRDYNVC_STATE_FAILED) return false;
    }
    return false;
}

OpenOutcome RdpSession::Open(const std::string& name, Millis timeout, std::optional<DynamicChannel>& channel) {
    channel.reset();
    HANDLE handle =
        WTSVirtualChannelOpenEx(SessionIdOf(manager_), const_cast<LPSTR>(name.c_str()), WTS_CHANNEL_OPTION_DYNAMIC);
    if (handle == nullptr) return OpenOutcome::Refused;
    DynamicChannel opened(*this, handle);
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (!Pump(Millis(20))) return OpenOutcome::TimedOut;
        const std::optional<bool> ready = ChannelReady(handle);
        if (!ready) return OpenOutcome::Refused;
        if (*ready) {
            channel.emplace(std::move(opened));
            return OpenOutcome::Opened;
        }
    }
    return OpenOutcome::TimedOut;
}

}  // namespace zobrik_e2e

// The server side of one RDP connection for the end-to-end tests: a listener
// on a free port of 127.0.0.1, the accepted peer with its virtual channel
// manager, and dynamic virtual channels opened on the client, all with
// FreeRDP's server API (version 2 or 3, whichever the test server is built
// against) in one thread.
//
// FreeRDP queues outgoing channel data and sends it only while the channel
// manager is serviced, so every wait in here goes through RdpSession::Pump.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <freerdp/freerdp.h>
#include <freerdp/listener.h>
#include <freerdp/peer.h>

namespace zobrik_e2e {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// Prints one line "server <seconds>: <text>" (progress, not a check).
void Note(const std::string& text);

struct ListenerDeleter {
    void operator()(freerdp_listener* listener) const;
};
using ListenerPtr = std::unique_ptr<freerdp_listener, ListenerDeleter>;

// A listening socket on 127.0.0.1 with a port chosen by the kernel, so that
// parallel runs never compete for one.
class RdpListener {
public:
    RdpListener();
    uint16_t Port() const noexcept { return port_; }
    // Waits for one connection; nullptr after `timeout`. Connections that
    // arrive meanwhile beyond the first are refused; later ones wait for the
    // next call.
    freerdp_peer* AcceptOne(Millis timeout);

private:
    ListenerPtr listener_;
    uint16_t port_ = 0;
};

struct TlsFiles {
    std::string certificate;  // PEM
    std::string key;          // PEM, PKCS#8 (serves TLS and RDP security)
};

class RdpSession;

// Gives the server its certificate and key: the one part of the settings
// whose API differs between FreeRDP 2 and 3 (server_identity_v<major>.cpp).
bool SetServerIdentity(rdpSettings* settings, const TlsFiles& files);

// A dynamic virtual channel opened by the server. Closed (a DVC close to the
// client) when destroyed; every channel must go before its session.
class DynamicChannel {
public:
    DynamicChannel(RdpSession& session, void* handle) : session_(&session), handle_(handle) {}
    DynamicChannel(DynamicChannel&& other) noexcept;
    DynamicChannel& operator=(DynamicChannel&&) = delete;
    DynamicChannel(const DynamicChannel&) = delete;
    DynamicChannel& operator=(const DynamicChannel&) = delete;
    ~DynamicChannel();

    bool Write(const uint8_t* data, size_t size);
    bool Write(const Bytes& message) { return Write(message.data(), message.size()); }
    // The next whole message from the client, or nothing after `timeout`,
    // when the channel or the connection ended.
    std::optional<Bytes> Read(Millis timeout);
    void Close();
    // The channel's id on the connection (0 once closed here).
    uint32_t Id() const;
    // Whether the client has closed the channel (or refused it).
    bool ClosedByClient();

private:
    std::optional<Bytes> TakeMessage();

    RdpSession* session_;
    void* handle_;
};

// Outcome of asking the client to open a dynamic channel.
enum class OpenOutcome { Opened, Refused, TimedOut };

class RdpSession {
public:
    // Takes over `peer`, sets up TLS with `files` and starts the RDP
    // connection sequence.
    RdpSession(freerdp_peer* peer, const TlsFiles& files);
    ~RdpSession();
    RdpSession(const RdpSession&) = delete;
    RdpSession& operator=(const RdpSession&) = delete;

    // Services the connection and the channels once, waiting up to `wait`
    // for activity (also on `extra` when given). False once the connection
    // is gone.
    bool Pump(Millis wait, void* extra = nullptr);
    // Keeps the session serviced for `duration`; false if it ended.
    bool PumpFor(Millis duration);
    bool Alive() const noexcept { return alive_; }
    // Waits until the client is activated and its dynamic channel support
    // (drdynvc) is ready.
    bool WaitUntilDynamicChannelsReady(Millis timeout);
    // Asks the client to open `name`; `channel` holds it when Opened.
    OpenOutcome Open(const std::string& name, Millis timeout, std::optional<DynamicChannel>& channel);
    // Writes `pdu` as it is on the static channel that carries the dynamic
    // channels, bypassing the server's own framing: for data a well-behaved
    // server never sends.
    bool WriteDynamicChannelPdu(const Bytes& pdu);
    // Ends the session the way a server does (the client logs off cleanly).
    void Disconnect();
    // Closes the connection without a word, as a network failure would: a
    // client with automatic reconnection comes back.
    void Drop();

private:
    freerdp_peer* peer_;
    void* manager_ = nullptr;
    bool alive_ = true;
    bool disconnected_ = false;
};

}  // namespace zobrik_e2e

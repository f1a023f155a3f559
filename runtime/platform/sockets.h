// The operating-system seam for networking: sockets, waiting on them, name lookup, TLS and threads.
//
// Handles are the system's socket numbers (-1 = none). Addresses and ports are
// in host order. Every failing call leaves the reason in LastSocketError() as a
// Winsock error number (10035 would-block, 10036 in progress, 10054 reset, ...)
// translated from the system's own; a reason without a Winsock equivalent is
// passed through as the system's number. Sends never raise SIGPIPE.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Winsock numbers the layers above test for.
constexpr int kSocketWouldBlock = 10035;
constexpr int kSocketInProgress = 10036;
constexpr int kSocketReset = 10054;
constexpr int kSocketHostNotFound = 11001;

struct SocketAddress {
  uint32_t ip = 0;  // host order
  uint16_t port = 0;
};

// Prepares the process for many sockets (raises the open-file limit as far as
// allowed). Always succeeds on this system.
bool StartSocketLibrary();

int LastSocketError();
void SetLastSocketError(int code);
// The Winsock number of a system error (errno) a socket call reported; the
// system's own number when Winsock has no equivalent.
int WinsockErrorFromSystem(int error);
// The system's message for a Winsock (or passed-through) error number; empty
// for 0 and when there is none.
std::string SocketErrorMessage(int code);

int OpenTcpSocket();  // -1 on failure
int OpenUdpSocket();
bool SetReuseAddress(int handle);
// Broadcast on; false when refused.
bool SetBroadcast(int handle);
bool SetLingerOff(int handle);
bool SetNonBlocking(int handle, bool nonBlocking);
bool BindSocket(int handle, SocketAddress address);
bool ListenSocket(int handle, int backlog);
// -1 when none is waiting (would-block) or on an error.
int AcceptSocket(int handle, SocketAddress* peer);
// Starts a connection; true when it stands at once. False with LastSocketError()
// 10035 or 10036 while it is still being made.
bool ConnectSocket(int handle, SocketAddress address);
// Waits at most timeoutMs for a connection being made: 1 connected, 0 timed
// out, -1 failed (the reason in LastSocketError()).
int WaitConnected(int handle, int timeoutMs);
void ShutdownSocket(int handle);
bool CloseSocket(int handle);
// One send; to = null for a connected socket. Bytes sent, -1 on error.
int64_t SendSocket(int handle, const void* bytes, int64_t count, const SocketAddress* to);
// One receive; from receives the sender when not null. Bytes received (0: the
// peer closed), -1 on error.
int64_t ReceiveSocket(int handle, void* buffer, int64_t count, SocketAddress* from);
// The local address a socket is bound to.
bool SocketLocalAddress(int handle, SocketAddress* address);

// Waits at most timeoutMs (-1: no limit) until one of the sockets can be read
// (or has closed or failed), or, where wantWrite[i] is set, written. ready[i]
// gets bit 1 readable, bit 2 writable. Returns the number of ready sockets, 0
// on timeout, -1 on error.
int WaitSockets(const int* handles, const bool* wantWrite, uint8_t* ready, int count, int timeoutMs);

// The first IPv4 address of a name (dotted text included); false when the
// name does not resolve.
bool ResolveHostName(const char* name, uint32_t* ip);
// Every IPv4 address this machine has (its interfaces, loopback included).
std::vector<uint32_t> LocalAddresses();

// ---------------------------------------------------------------- TLS

struct TlsStream;  // a TLS client over a connected socket
// Why StartTls gave no stream: the time ran out, the peer's certificate (or
// its name) failed the check, or the handshake failed otherwise.
enum class TlsFailure { None, TimedOut, Certificate, Handshake };
// Handshake over a connected blocking-or-not socket within timeoutMs; the
// peer's certificate must chain to a trusted CA (the system's store, or the
// file SSL_CERT_FILE names) and match serverName (a host name or an IPv4
// address in dotted text). Null on any failure, with the reason in *failure
// when it is not null.
TlsStream* StartTls(int handle, const char* serverName, int timeoutMs, TlsFailure* failure = nullptr);
// As SendSocket/ReceiveSocket; -1 with 10035 when the stream must wait.
// TlsReceive gives 0 at the end of the stream, whether the peer closed it
// with close_notify or the connection just ended (see TlsClosedCleanly).
int64_t TlsSend(TlsStream* stream, const void* bytes, int64_t count);
int64_t TlsReceive(TlsStream* stream, void* buffer, int64_t count);
// True once the peer has ended the stream with close_notify; an end without
// it may be a cut made by anyone on the way, so data that runs to the end of
// the stream is then incomplete.
bool TlsClosedCleanly(const TlsStream* stream);
void EndTls(TlsStream* stream);  // frees it; the socket stays open

// ---------------------------------------------------------------- threads

struct Thread;
// Runs body(argument) on a new thread; null when none can be started.
Thread* StartThread(void (*body)(void*), void* argument);
void JoinThread(Thread* thread);  // waits for the end and frees it

}  // namespace platform

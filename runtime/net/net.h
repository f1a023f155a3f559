// Networking: the socket slot table, the HTTP client and the multiplayer session.
//
// Sockets are addressed by slot numbers 0..1023, never by system handles, and
// are all non-blocking. IPv4 addresses cross this interface as 32-bit integers
// in host order (a.b.c.d is a*2^24 + b*2^16 + c*2^8 + d, kept as the int32 bit
// pattern), ports in host order. The last error holds Winsock numbers: 10035
// would-block, 10036 in progress or connect timeout, 10054 reset, 8 no free
// slot. HTTP downloads on port 443 (and every https:// redirect) speak TLS
// with verified certificates; their own causes of failure have numbers of
// their own (see the HTTP section).
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// Socket slots (numbered 0..kSocketSlotCount - 1).
constexpr int kSocketSlotCount = 1024;
constexpr int kNoFreeSlotError = 8;

// ---------------------------------------------------------------- sockets

int32_t NetStart();  // 1 when sockets are available
// Undoes one NetStart; the last one closes every socket.
void NetStop();
// A TCP socket listening on port (all interfaces): its slot, -1 on failure (see NetLastError).
int32_t NetTcpListen(int32_t port);
// peerIp receives the peer's address.
int32_t NetTcpAccept(int32_t slot, int32_t& peerIp);
// Connects a TCP socket to host (a name or dotted address) and port, waiting at most timeoutMs:
// its slot, -1 on failure or timeout (10036).
int32_t NetTcpConnect(const BasicString& host, int32_t port, int32_t timeoutMs);
// A UDP socket bound to port (0: any port) with broadcast allowed: its slot, -1 on failure.
int32_t NetUdpOpen(int32_t port);
// Closes the socket and frees its slot: 1 when closed, 0 for an empty slot.
int32_t NetClose(int32_t slot);
// blocking non-zero makes the socket's operations wait; 0 makes them return at once. The result
// is the last error (0 when it worked).
int32_t NetSetBlocking(int32_t slot, int32_t blocking);
// Sends the whole text on a TCP socket: the bytes sent, -1 on error (or for a UDP socket).
int32_t NetSendText(int32_t slot, const BasicString& text);
// Sends the text as a datagram to ip and port (a TCP socket sends it on its connection): the
// bytes sent, -1 on error.
int32_t NetSendTextTo(int32_t slot, const BasicString& text, int32_t ip, int32_t port);
// Bytes received, 0 when the peer closed, -1 on error, -2 when nothing waits.
int32_t NetReceive(int32_t slot, BasicString& text, int32_t maximum);
int32_t NetResolve(const BasicString& host);  // -1 when nothing resolves
// The address as dotted text "a.b.c.d".
BasicString NetIpToText(int32_t ip);
// The address the socket is connected to (TCP) or last received from (UDP); 0 for a bad slot.
int32_t NetRemoteIp(int32_t slot);
// That address's port; 0 for a bad slot.
int32_t NetRemotePort(int32_t slot);
// The machine's IPv4 addresses as dotted text, separated by "|".
BasicString NetLocalIps();
// The last error (Winsock numbering, 0 when the last operation worked; after an HTTP request also
// one of the HTTP causes below).
int32_t NetLastError();
// The last error as "<number> <message>" for a socket error ("10051 Network is unreachable",
// "8 No free socket slot"); the cause's text alone ("HTTP 404", "timed out", "truncated body")
// when an HTTP request failed for a reason of its own; empty when there is none, as after a
// success (last error 0).
BasicString NetLastErrorText();

// ---------------------------------------------------------------- HTTP

// A request succeeds only with a complete 2xx response: a status line that parses, a header
// that ends, and the whole body (exactly Content-Length bytes when the server gives a length, a
// chunked body up to its last chunk, else everything up to the close; a TLS stream that stops
// without close_notify is cut, not ended). Redirects (301, 302, 303, 307, 308) are followed up
// to 5 times, to http or https, never from https to http. timeoutMs bounds the whole request,
// redirects, connecting, TLS handshake, header and body included (below 1: 30 s); each connect
// also waits 30 s at most. A success sets the last error to 0. A failure sets a socket error
// (connect refused: 10061, reset: 10054, "<number> <message>" texts) or one of these causes,
// whose text NetLastErrorText gives alone. A status other than 2xx or a redirect is its own
// number (404: "HTTP 404"); a request that outlasts its timeout is 10060 ("timed out"). The
// server and path go into the request as given, except that a blank or a byte beyond ASCII in
// the path is sent percent-encoded ("/my file" asks for "/my%20file"); a control byte (CR, LF,
// ...) in the path, or a blank or control byte in the server, is refused before anything is
// sent or any file touched.
constexpr int32_t kHttpTimedOut = 10060;               // "timed out"
constexpr int32_t kHttpBadStatusLine = 20001;          // "bad status line": the reply is not HTTP/1.x
constexpr int32_t kHttpHeaderTooLong = 20002;          // "header too long": over 64 KiB without its end
constexpr int32_t kHttpHeaderNeverEnded = 20003;       // "header never ended": closed within the header
constexpr int32_t kHttpBadContentLength = 20004;       // "bad content length"
constexpr int32_t kHttpUnsupportedEncoding = 20005;    // "unsupported transfer encoding" (not chunked)
constexpr int32_t kHttpBadChunk = 20006;               // "bad chunk": a chunked body's framing is broken
constexpr int32_t kHttpTruncatedBody = 20007;          // "truncated body": the body ended early
constexpr int32_t kHttpTooManyRedirects = 20008;       // "too many redirects": more than 5
constexpr int32_t kHttpRedirectToHttpRefused = 20009;  // "redirect to http refused": from https
constexpr int32_t kHttpBadRedirect = 20010;            // "bad redirect": no usable Location
constexpr int32_t kHttpCertificateFailed = 20011;      // "certificate verify failed" (chain or name)
constexpr int32_t kHttpTlsFailed = 20012;              // "TLS handshake failed" for another reason
constexpr int32_t kHttpFileNotWritten = 20013;         // "file not written": the target or the disk
constexpr int32_t kHttpMemoryFileRefused = 20014;      // "memory file name refused"
constexpr int32_t kHttpBadServerName = 20015;          // "bad server name": a blank or control byte in it
constexpr int32_t kHttpBadPath = 20016;                // "bad path": a control byte (CR, LF, ...) in it

// Downloads http://server:port/path (port 0: 80; 443: HTTPS) into fileName. 1 on success, else 0
// (see NetLastError). The body goes to "<fileName>.vlmnew" beside it and is renamed over
// fileName only on success (as WriteWholeFileReplacing does), so a failed download leaves an old
// file as it was; a partial file an earlier download left is removed first. An empty folder of
// that name makes way; memory-file names are refused.
int32_t HttpGetToFile(const BasicString& server, const BasicString& path, int32_t port, const BasicString& fileName,
                      int32_t timeoutMs);
// The body of the same request as text, at most maximum bytes (up to its first zero byte; the
// request ends with success once maximum bytes have come); empty on failure.
BasicString HttpGetToText(const BasicString& server, const BasicString& path, int32_t port, int32_t maximum,
                          int32_t timeoutMs);

// ---------------------------------------------------------------- multiplayer session

// The port HostSession and JoinSession use when given 0 (or less).
constexpr int kDefaultSessionPort = 27910;

// Why a session operation failed, when the socket layer has no number for it: NetLastError gives
// the number and NetLastErrorText the words alone. The host refuses a join or a connection with a
// reason (the first four); a client that gets one fails its JoinSession or CreatePlayer at once.
//
// Limits the host keeps: ids of departed players are handed out again, but only once the
// departure has been reported (NextDepartedPlayer gave it, or the list of departed players was
// full and left it out), and only after every id from 101 to 0xFEFF has been handed out once.
// One remote address may hold at most 32 connections, at most 8 of them without a player (a 9th
// closes its own oldest one without a player), and at most 1024 players; the hosting program's
// own connection is not counted. A connection may hold at most 256 players (one more request
// closes it), and the table at most 128 connections.
constexpr int32_t kSessionRefusalBase = 21000;          // a refusal's cause is this plus the host's reason
constexpr int32_t kSessionIdsTaken = 21001;            // "every player id is taken"
constexpr int32_t kSessionTableFull = 21002;           // "the host's connection table is full"
constexpr int32_t kSessionAddressConnections = 21003;  // "too many connections from this address"
constexpr int32_t kSessionAddressPlayers = 21004;      // "too many players from this address"
constexpr int32_t kSessionRefused = 21005;             // "join refused" (for a reason this version does not know)
constexpr int32_t kSessionNoAnswer = 21010;            // "no answer from the host": 5 s passed
constexpr int32_t kSessionClosedByHost = 21011;        // "the host closed the connection"
constexpr int32_t kSessionHostSilent = 21012;          // "the host went silent": see SetSessionTimeout
constexpr int32_t kSessionBrokenHost = 21013;          // "the host broke the protocol"
constexpr int32_t kSessionNotRunning = 21014;          // "no session"
constexpr int32_t kSessionPlayerFellBehind = 21015;    // "the player fell behind and was disconnected"

// Hosts a session on port: listens for other processes and joins it itself. 1 when it runs.
int32_t HostSession(int32_t port);
// Joins the session hosted at host and port. 1 when the host answered, else 0 (see NetLastError:
// a socket error, a refusal, kSessionNoAnswer or kSessionClosedByHost).
int32_t JoinSession(const BasicString& host, int32_t port);
// Leaves or ends the session: its players go, its sockets close.
void EndSession();
// Non-zero: the host accepts new connections; 0 leaves them waiting unaccepted from the moment
// it returns (their JoinSession fails after 5 s with kSessionNoAnswer). Connections already taken
// may still create players.
void SetAcceptPlayers(int32_t accept);
// 1 while the session runs (hosted or joined).
int32_t SessionRunning();
// How long a silent peer is borne, in ms (ms < 1: 5000; otherwise within 1000..3600000). Every
// peer of this version sends a keepalive (message type 5) whenever it has sent nothing for
// 250 ms; a connection whose peer has sent one and then nothing at all for this long ends: on
// the host its players depart (NextDepartedPlayer lists them), on a client the session ends
// (SessionRunning 0, NetLastError kSessionHostSilent). Peers that never send a keepalive (older
// versions) are never timed out. Applies at once and to later sessions; EndSession keeps it.
// Time in which this program's own session thread did not run does not count as silence.
void SetSessionTimeout(int32_t ms);
// The timeout SetSessionTimeout set, in ms.
int32_t SessionTimeout();
// Creates a local player with that name: the id the host gave it, 0 when it gave none (see
// NetLastError: a refusal, kSessionNoAnswer, kSessionNotRunning or why the session ended).
int32_t CreatePlayer(const BasicString& name);
// Removes the local player id from the session.
void RemovePlayer(int32_t id);
// Sends text from player from to player to (0: every player). 1 when sent, 0 when it is too
// long, when there is no session, or when from is a local player that fell behind
// (kSessionPlayerFellBehind). Texts arrive whole and in order, or not at all from some point on:
// a player with 4096 unread texts (or 4 MiB) that is sent one more is disconnected at that point
// and departs (on the host a client sending to the hosting program's player is held back for up
// to 5 s first, and its connection closed after that). The texts it had stay readable, and sends
// from it fail until RemovePlayer.
int32_t SendPlayerMessage(int32_t from, int32_t to, const BasicString& text);
// The oldest message waiting for local player id (and notes its sender); empty when none.
BasicString ReceivePlayerMessage(int32_t id);
// The sender of the message ReceivePlayerMessage returned last.
int32_t LastMessageSender();
// The number of players in the session (asked of the host); 0 without an answer.
int32_t CountPlayers();
// Player id's name (asked of the host); "NO_DATA" without an answer.
BasicString PlayerName(int32_t id);
// The id of a player that left the session since the last call, 0 when none did. Host only;
// at most 4096 wait, the oldest first.
int32_t NextDepartedPlayer();

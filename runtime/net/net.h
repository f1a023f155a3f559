// Networking: the socket slot table, the HTTP client and the multiplayer session.
//
// Sockets are addressed by slot numbers 0..1023, never by system handles, and
// are all non-blocking. IPv4 addresses cross this interface as 32-bit integers
// in host order (a.b.c.d is a*2^24 + b*2^16 + c*2^8 + d, kept as the int32 bit
// pattern), ports in host order. The last error holds Winsock numbers: 10035
// would-block, 10036 in progress or connect timeout, 10054 reset, 8 no free
// slot. HTTP downloads on port 443 speak TLS with verified certificates.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

constexpr int kSocketSlotCount = 1024;
constexpr int kNoFreeSlotError = 8;

// ---------------------------------------------------------------- sockets

int32_t NetStart();  // 1 when sockets are available
void NetStop();
int32_t NetTcpListen(int32_t port);
// peerIp receives the peer's address.
int32_t NetTcpAccept(int32_t slot, int32_t& peerIp);
int32_t NetTcpConnect(const BasicString& host, int32_t port, int32_t timeoutMs);
int32_t NetUdpOpen(int32_t port);
int32_t NetClose(int32_t slot);
int32_t NetSetBlocking(int32_t slot, int32_t blocking);
int32_t NetSendText(int32_t slot, const BasicString& text);
int32_t NetSendTextTo(int32_t slot, const BasicString& text, int32_t ip, int32_t port);
// Bytes received, 0 when the peer closed, -1 on error, -2 when nothing waits.
int32_t NetReceive(int32_t slot, BasicString& text, int32_t maximum);
int32_t NetResolve(const BasicString& host);  // -1 when nothing resolves
BasicString NetIpToText(int32_t ip);
int32_t NetRemoteIp(int32_t slot);
int32_t NetRemotePort(int32_t slot);
BasicString NetLocalIps();
int32_t NetLastError();
BasicString NetLastErrorText();

// ---------------------------------------------------------------- HTTP

int32_t HttpGetToFile(const BasicString& server, const BasicString& path, int32_t port, const BasicString& fileName,
                      int32_t timeoutMs);
BasicString HttpGetToText(const BasicString& server, const BasicString& path, int32_t port, int32_t maximum,
                          int32_t timeoutMs);

// ---------------------------------------------------------------- multiplayer session

constexpr int kDefaultSessionPort = 27910;

int32_t HostSession(int32_t port);
int32_t JoinSession(const BasicString& host, int32_t port);
void EndSession();
void SetAcceptPlayers(int32_t accept);
int32_t SessionRunning();
int32_t CreatePlayer(const BasicString& name);
void RemovePlayer(int32_t id);
int32_t SendPlayerMessage(int32_t from, int32_t to, const BasicString& text);
BasicString ReceivePlayerMessage(int32_t id);
int32_t LastMessageSender();
int32_t CountPlayers();
BasicString PlayerName(int32_t id);
int32_t NextDepartedPlayer();

// ---------------------------------------------------------------- start-up and shutdown

// Creates the session object (start-up, before the 3D engine).
void CreateSessionObject();
// Ends a running session and closes every socket (shutdown).
void EndSessionAndNetwork();

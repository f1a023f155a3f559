// POSIX sockets, poll, name lookup and threads behind platform/sockets.h, with errno read as Winsock numbers.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <new>

namespace platform {
namespace {

thread_local int t_lastError = 0;

struct ErrnoWinsock {
  int error;
  int winsock;
};
// The Winsock numbers of the errors a socket call can report.
constexpr ErrnoWinsock kErrnoWinsock[] = {
    {EINTR, 10004},          {EBADF, 10009},           {EACCES, 10013},        {EFAULT, 10014},
    {EINVAL, 10022},         {EMFILE, 10024},          {EWOULDBLOCK, 10035},   {EINPROGRESS, 10036},
    {EALREADY, 10037},       {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039},  {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},     {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},     {EPFNOSUPPORT, 10046},  {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},     {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},      {ENETUNREACH, 10051},
    {ENETRESET, 10052},      {ECONNABORTED, 10053},    {ECONNRESET, 10054},    {EPIPE, 10054},
    {ENOBUFS, 10055},        {EISCONN, 10056},         {ENOTCONN, 10057},      {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},   {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},  {ELOOP, 10062},
    {ENAMETOOLONG, 10063},   {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},  {ENOTEMPTY, 10066},
    {EUSERS, 10068},         {EDQUOT, 10069},          {ESTALE, 10070},        {EREMOTE, 10071},
};

void RecordErrno() { t_lastError = WinsockErrorFromSystem(errno); }

sockaddr_in ToSockaddr(SocketAddress address) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(address.port);
  a.sin_addr.s_addr = htonl(address.ip);
  return a;
}

SocketAddress FromSockaddr(const sockaddr_in& a) {
  return SocketAddress{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

bool SetIntOption(int handle, int level, int name, int value) {
  if (setsockopt(handle, level, name, &value, sizeof value) == 0) return true;
  RecordErrno();
  return false;
}

}  // namespace

int WinsockErrorFromSystem(int error) {
  if (error == EAGAIN) return kSocketWouldBlock;
  for (const ErrnoWinsock& e : kErrnoWinsock)
    if (e.error == error) return e.winsock;
  return error;
}

bool StartSocketLibrary() {
  // A program may hold 1024 sockets besides its files: make room where the
  // system allows it.
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 4096 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max < 4096 ? limit.rlim_max : 4096;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  t_lastError = 0;
  return true;
}

int LastSocketError() { return t_lastError; }
void SetLastSocketError(int code) { t_lastError = code; }

std::string SocketErrorMessage(int code) {
  // strerror has words even for no error ("Success"); no error has no message.
  if (code == 0) return "";
  if (code >= 11001 && code <= 11004) {
    static constexpr int kLookup[] = {EAI_NONAME, EAI_AGAIN, EAI_FAIL, EAI_NODATA};
    return gai_strerror(kLookup[code - 11001]);
  }
  int error = code;
  if (code == kSocketWouldBlock) {
    error = EWOULDBLOCK;
  } else if (code >= 10000) {
    error = -1;
    for (const ErrnoWinsock& e : kErrnoWinsock)
      if (e.winsock == code) {
        error = e.error;
        break;
      }
  }
  if (error < 0) return "";
  char buffer[256];
  const char* text = strerror_r(error, buffer, sizeof buffer);
  if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return "";
  return text;
}

int OpenTcpSocket() {
  const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) RecordErrno();
  return handle;
}

int OpenUdpSocket() {
  const int handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (handle < 0) RecordErrno();
  return handle;
}

bool SetReuseAddress(int handle) { return SetIntOption(handle, SOL_SOCKET, SO_REUSEADDR, 1); }
bool SetBroadcast(int handle) { return SetIntOption(handle, SOL_SOCKET, SO_BROADCAST, 1); }

bool SetLingerOff(int handle) {
  linger off{};
  if (setsockopt(handle, SOL_SOCKET, SO_LINGER, &off, sizeof off) == 0) return true;
  RecordErrno();
  return false;
}

bool SetNonBlocking(int handle, bool nonBlocking) {
  const int flags = fcntl(handle, F_GETFL);
  if (flags < 0 || fcntl(handle, F_SETFL, nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) < 0) {
    RecordErrno();
    return false;
  }
  t_lastError = 0;
  return true;
}

bool BindSocket(int handle, SocketAddress address) {
  const sockaddr_in a = ToSockaddr(address);
  if (bind(handle, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return true;
  RecordErrno();
  return false;
}

bool ListenSocket(int handle, int backlog) {
  if (listen(handle, backlog) == 0) return true;
  RecordErrno();
  return false;
}

int AcceptSocket(int handle, SocketAddress* peer) {
  sockaddr_in a{};
  socklen_t size = sizeof a;
  const int accepted = accept4(handle, reinterpret_cast<sockaddr*>(&a), &size, SOCK_CLOEXEC);
  if (accepted < 0) {
    RecordErrno();
    return -1;
  }
  t_lastError = 0;
  if (peer != nullptr) *peer = FromSockaddr(a);
  return accepted;
}

bool ConnectSocket(int handle, SocketAddress address) {
  const sockaddr_in a = ToSockaddr(address);
  if (connect(handle, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
    t_lastError = 0;
    return true;
  }
  RecordErrno();
  return false;
}

int WaitConnected(int handle, int timeoutMs) {
  pollfd p{handle, POLLOUT, 0};
  int n;
  do {
    n = poll(&p, 1, timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    RecordErrno();
    return -1;
  }
  if (n == 0) return 0;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
    RecordErrno();
    return -1;
  }
  if (error != 0) {
    t_lastError = WinsockErrorFromSystem(error);
    return -1;
  }
  t_lastError = 0;
  return 1;
}

void ShutdownSocket(int handle) {
  if (shutdown(handle, SHUT_RDWR) != 0) RecordErrno();
}

bool CloseSocket(int handle) {
  if (close(handle) == 0) {
    t_lastError = 0;
    return true;
  }
  RecordErrno();
  return false;
}

int64_t SendSocket(int handle, const void* bytes, int64_t count, const SocketAddress* to) {
  ssize_t n;
  if (to != nullptr) {
    const sockaddr_in a = ToSockaddr(*to);
    n = sendto(handle, bytes, static_cast<size_t>(count), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a),
               sizeof a);
  } else {
    n = send(handle, bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
  }
  if (n < 0) {
    RecordErrno();
    return -1;
  }
  t_lastError = 0;
  return n;
}

int64_t ReceiveSocket(int handle, void* buffer, int64_t count, SocketAddress* from) {
  sockaddr_in a{};
  socklen_t size = sizeof a;
  const ssize_t n = recvfrom(handle, buffer, static_cast<size_t>(count), 0,
                             from != nullptr ? reinterpret_cast<sockaddr*>(&a) : nullptr,
                             from != nullptr ? &size : nullptr);
  if (n < 0) {
    RecordErrno();
    return -1;
  }
  t_lastError = 0;
  if (from != nullptr) *from = FromSockaddr(a);
  return n;
}

bool SocketLocalAddress(int handle, SocketAddress* address) {
  sockaddr_in a{};
  socklen_t size = sizeof a;
  if (getsockname(handle, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    RecordErrno();
    return false;
  }
  *address = FromSockaddr(a);
  return true;
}

int WaitSockets(const int* handles, const bool* wantWrite, uint8_t* ready, int count, int timeoutMs) {
  pollfd stack[64];
  pollfd* polls = count <= 64 ? stack : new (std::nothrow) pollfd[count];
  if (polls == nullptr) return -1;
  for (int i = 0; i < count; ++i) {
    polls[i].fd = handles[i];
    polls[i].events = static_cast<short>(POLLIN | (wantWrite != nullptr && wantWrite[i] ? POLLOUT : 0));
    polls[i].revents = 0;
  }
  const int n = poll(polls, static_cast<nfds_t>(count), timeoutMs);
  if (n < 0) {
    if (errno != EINTR) RecordErrno();
  } else {
    for (int i = 0; i < count; ++i) {
      const short r = polls[i].revents;
      ready[i] = static_cast<uint8_t>(((r & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) ? 1 : 0) |
                                      ((r & POLLOUT) ? 2 : 0));
    }
  }
  if (polls != stack) delete[] polls;
  return n < 0 ? (errno == EINTR ? 0 : -1) : n;
}

bool ResolveHostName(const char* name, uint32_t* ip) {
  in_addr dotted{};
  if (inet_pton(AF_INET, name, &dotted) == 1) {
    *ip = ntohl(dotted.s_addr);
    t_lastError = 0;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(name, nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    t_lastError = rc == EAI_AGAIN ? 11002 : rc == EAI_FAIL ? 11003 : kSocketHostNotFound;
    return false;
  }
  *ip = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(found);
  t_lastError = 0;
  return true;
}

std::vector<uint32_t> LocalAddresses() {
  std::vector<uint32_t> result;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    RecordErrno();
    return result;
  }
  for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    result.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr));
  }
  freeifaddrs(list);
  return result;
}

// ---------------------------------------------------------------- threads

struct Thread {
  pthread_t id;
  void (*body)(void*);
  void* argument;
};

namespace {
void* ThreadEntry(void* raw) {
  Thread* thread = static_cast<Thread*>(raw);
  thread->body(thread->argument);
  return nullptr;
}
}  // namespace

Thread* StartThread(void (*body)(void*), void* argument) {
  Thread* thread = new (std::nothrow) Thread{};
  if (thread == nullptr) return nullptr;
  thread->body = body;
  thread->argument = argument;
  if (pthread_create(&thread->id, nullptr, ThreadEntry, thread) != 0) {
    delete thread;
    return nullptr;
  }
  return thread;
}

void JoinThread(Thread* thread) {
  if (thread == nullptr) return;
  pthread_join(thread->id, nullptr);
  delete thread;
}

}  // namespace platform

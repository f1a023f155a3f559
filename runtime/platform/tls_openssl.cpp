// TLS client streams over OpenSSL behind platform/sockets.h: verified certificates and host names only.
#include "platform/sockets.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <arpa/inet.h>
#include <chrono>

namespace platform {

struct TlsStream {
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  bool closedCleanly = false;
};

namespace {

// OpenSSL writes with plain send(): a peer that has gone would raise SIGPIPE.
// While a guard lives the signal is blocked for this thread, and one it
// caused is taken back before the old mask returns.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~SigpipeGuard() {
    if (!wasPending_) {
      sigset_t pending;
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        const timespec none{};
        sigtimedwait(&pipe_, nullptr, &none);
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool wasPending_ = false;
};

void FreeStream(TlsStream* stream) {
  if (stream->ssl != nullptr) SSL_free(stream->ssl);
  if (stream->context != nullptr) SSL_CTX_free(stream->context);
  delete stream;
}

// 0 at the end of the stream (noting a close_notify), -1 with 10035 for "try
// again", otherwise a failed stream (10054).
int64_t StreamFailure(TlsStream* stream, int result) {
  const int error = SSL_get_error(stream->ssl, result);
  // Without SSL_OP_IGNORE_UNEXPECTED_EOF a connection that ends without
  // close_notify is reported as this error; it is an end, but not a clean one.
  const bool cut = error == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
  ERR_clear_error();
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    SetLastSocketError(kSocketWouldBlock);
    return -1;
  }
  if (error == SSL_ERROR_ZERO_RETURN) {
    stream->closedCleanly = true;
    return 0;
  }
  if (cut) return 0;
  SetLastSocketError(kSocketReset);
  return -1;
}

}  // namespace

TlsStream* StartTls(int handle, const char* serverName, int timeoutMs, TlsFailure* failure) {
  TlsFailure ignored;
  if (failure == nullptr) failure = &ignored;
  *failure = TlsFailure::Handshake;
  TlsStream* stream = new TlsStream;
  // A fresh context per stream reads SSL_CERT_FILE / SSL_CERT_DIR as they are now.
  stream->context = SSL_CTX_new(TLS_client_method());
  if (stream->context == nullptr || SSL_CTX_set_default_verify_paths(stream->context) != 1) {
    FreeStream(stream);
    return nullptr;
  }
  SSL_CTX_set_verify(stream->context, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_min_proto_version(stream->context, TLS1_2_VERSION);
  stream->ssl = SSL_new(stream->context);
  if (stream->ssl == nullptr || SSL_set_fd(stream->ssl, handle) != 1) {
    FreeStream(stream);
    return nullptr;
  }
  in_addr dotted{};
  X509_VERIFY_PARAM* param = SSL_get0_param(stream->ssl);
  bool named;
  if (inet_pton(AF_INET, serverName, &dotted) == 1) {
    named = X509_VERIFY_PARAM_set1_ip_asc(param, serverName) == 1;
  } else {
    SSL_set_tlsext_host_name(stream->ssl, serverName);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    named = X509_VERIFY_PARAM_set1_host(param, serverName, 0) == 1;
  }
  if (!named) {
    FreeStream(stream);
    return nullptr;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  SigpipeGuard quiet;
  ERR_clear_error();
  for (;;) {
    const int result = SSL_connect(stream->ssl);
    if (result == 1) break;
    const int error = SSL_get_error(stream->ssl, result);
    ERR_clear_error();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const bool waiting = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
    if (!waiting || left.count() <= 0) {
      SetLastSocketError(error == SSL_ERROR_SSL ? kSocketReset : kSocketInProgress);
      if (waiting) {
        *failure = TlsFailure::TimedOut;
      } else if (SSL_get_verify_result(stream->ssl) != X509_V_OK) {
        *failure = TlsFailure::Certificate;
      }
      FreeStream(stream);
      return nullptr;
    }
    pollfd p{handle, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    poll(&p, 1, static_cast<int>(left.count()));
  }
  SetLastSocketError(0);
  *failure = TlsFailure::None;
  return stream;
}

int64_t TlsSend(TlsStream* stream, const void* bytes, int64_t count) {
  if (count <= 0) return 0;
  SigpipeGuard quiet;
  // SSL_get_error reads the thread's error queue: nothing old may be left in it.
  ERR_clear_error();
  const int n = SSL_write(stream->ssl, bytes, static_cast<int>(count > 1 << 30 ? 1 << 30 : count));
  if (n > 0) return n;
  return StreamFailure(stream, n);
}

int64_t TlsReceive(TlsStream* stream, void* buffer, int64_t count) {
  ERR_clear_error();
  const int n = SSL_read(stream->ssl, buffer, static_cast<int>(count > 1 << 30 ? 1 << 30 : count));
  return n > 0 ? n : StreamFailure(stream, n);
}

bool TlsClosedCleanly(const TlsStream* stream) { return stream != nullptr && stream->closedCleanly; }

void EndTls(TlsStream* stream) {
  if (stream == nullptr) return;
  SigpipeGuard quiet;
  // After a cut or failed stream this fails; its errors must not outlive the stream.
  SSL_shutdown(stream->ssl);
  ERR_clear_error();
  FreeStream(stream);
}

}  // namespace platform

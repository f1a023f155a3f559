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

// -1 with 10035 for "try again", otherwise a failed stream (10054).
int64_t StreamFailure(TlsStream* stream, int result) {
  const int error = SSL_get_error(stream->ssl, result);
  ERR_clear_error();
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    SetLastSocketError(kSocketWouldBlock);
    return -1;
  }
  if (error == SSL_ERROR_ZERO_RETURN) return 0;
  SetLastSocketError(kSocketReset);
  return -1;
}

}  // namespace

TlsStream* StartTls(int handle, const char* serverName, int timeoutMs) {
  TlsStream* stream = new TlsStream;
  // A fresh context per stream reads SSL_CERT_FILE / SSL_CERT_DIR as they are now.
  stream->context = SSL_CTX_new(TLS_client_method());
  if (stream->context == nullptr || SSL_CTX_set_default_verify_paths(stream->context) != 1) {
    FreeStream(stream);
    return nullptr;
  }
  SSL_CTX_set_verify(stream->context, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_min_proto_version(stream->context, TLS1_2_VERSION);
  // An HTTP/1.0 body ends where the connection ends, close_notify or not.
  SSL_CTX_set_options(stream->context, SSL_OP_IGNORE_UNEXPECTED_EOF);
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
  for (;;) {
    const int result = SSL_connect(stream->ssl);
    if (result == 1) break;
    const int error = SSL_get_error(stream->ssl, result);
    ERR_clear_error();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || left.count() <= 0) {
      SetLastSocketError(error == SSL_ERROR_SSL ? kSocketReset : kSocketInProgress);
      FreeStream(stream);
      return nullptr;
    }
    pollfd p{handle, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    poll(&p, 1, static_cast<int>(left.count()));
  }
  SetLastSocketError(0);
  return stream;
}

int64_t TlsSend(TlsStream* stream, const void* bytes, int64_t count) {
  if (count <= 0) return 0;
  SigpipeGuard quiet;
  const int n = SSL_write(stream->ssl, bytes, static_cast<int>(count > 1 << 30 ? 1 << 30 : count));
  if (n > 0) return n;
  return StreamFailure(stream, n);
}

int64_t TlsReceive(TlsStream* stream, void* buffer, int64_t count) {
  const int n = SSL_read(stream->ssl, buffer, static_cast<int>(count > 1 << 30 ? 1 << 30 : count));
  return n > 0 ? n : StreamFailure(stream, n);
}

void EndTls(TlsStream* stream) {
  if (stream == nullptr) return;
  SigpipeGuard quiet;
  SSL_shutdown(stream->ssl);
  FreeStream(stream);
}

}  // namespace platform

// The TLS client over OpenSSL's memory buffers, built as the module
// harbek-tls.so (see tls_loader.cpp).
//
// Every step runs from a notification of the transport: its connected starts
// the handshake, each of its arrivals feeds the engine and either moves the
// handshake on or yields decrypted bytes, its close ends the stream (or fails
// a handshake cut short). After raising a notification the client checks that
// it still exists and was not closed before it goes on, as the TCP client
// does, since the handler may have done either.
#include "platform/net/tls_client.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <map>
#include <memory>

#include "platform/fs/program_module.h"
#include "platform/net/socket_errors.h"

namespace harbek::net {
namespace {

constexpr size_t kReadChunk = 16 * 1024;

struct SessionFree {
  void operator()(SSL_SESSION* s) const { SSL_SESSION_free(s); }
};
using Session = std::unique_ptr<SSL_SESSION, SessionFree>;

bool isIpAddress(const std::string& name) {
  in_addr v4;
  in6_addr v6;
  return ::inet_pton(AF_INET, name.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, name.c_str(), &v6) == 1;
}

// The reason of the last failure in OpenSSL's queue, in its own words.
std::string engineReason() {
  unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  const char* reason = code ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : "protocol error";
}

class OpenSslTlsClient final : public TlsClient {
 public:
  OpenSslTlsClient(event::EventLoop& loop, std::unique_ptr<TcpClient> transport, const TlsOptions& options)
      : loop_(loop), transport_(std::move(transport)), ctx_(SSL_CTX_new(TLS_client_method())) {
    if (!ctx_) return;
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    // A server that closes without close_notify ends the stream as a plain
    // close does: the body's own length tells whether anything is missing.
    SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // Sessions are kept here, per server, not in OpenSSL's cache.
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx_, &OpenSslTlsClient::onNewSession);
    if (options.verify) {
      SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
      const bool loaded = options.caFile.empty()
                              ? SSL_CTX_set_default_verify_paths(ctx_) == 1
                              : SSL_CTX_load_verify_locations(ctx_, options.caFile.c_str(), nullptr) == 1;
      if (!loaded) setupError_ = "cannot read the trusted certificates " + options.caFile;
    } else {
      SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    }
    verify_ = options.verify;
    ERR_clear_error();
    Handlers handlers;
    handlers.connected = [this] { handshake(); };
    handlers.dataArrival = [this](int32_t) { onTransportData(); };
    handlers.closed = [this] { onTransportClosed(); };
    handlers.error = [this](int32_t number, const std::string& description) { fail(number, description); };
    transport_->setHandlers(std::move(handlers));
  }

  ~OpenSslTlsClient() override {
    *alive_ = false;
    transport_->setHandlers({});
    close();
    SSL_CTX_free(ctx_);
  }

  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  SocketState state() const override { return state_; }
  void setServerName(const std::string& name) override { serverName_ = name; }

  int32_t connect(const std::string& host, uint16_t port) override {
    if (state_ != SocketState::kClosed) close();
    state_ = SocketState::kConnecting;
    if (!ctx_ || !setupError_.empty()) {
      // Reported from the loop, as every failure about the connection is.
      const std::string why = ctx_ ? setupError_ : "no TLS engine";
      loop_.post([this, alive = alive_, generation = generation_, why] {
        if (*alive && generation == generation_) fail(kTlsChannelFailed, why);
      });
      return 0;
    }
    sessionKey_ = serverName_ + ":" + std::to_string(port);
    if (!newEngine()) {
      state_ = SocketState::kClosed;
      return kWsaNoBufferSpace;
    }
    const int32_t immediate = transport_->connect(host, port);
    if (immediate) {
      freeEngine();
      state_ = SocketState::kClosed;
    }
    return immediate;
  }

  void close() override {
    ++generation_;
    transport_->close();
    // A connection closed after a good handshake leaves its session
    // resumable: OpenSSL spoils the session of a connection freed without
    // a shutdown. The close_notify itself is not worth a round trip.
    if (ssl_ && (state_ == SocketState::kConnected || state_ == SocketState::kClosing)) {
      SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    }
    freeEngine();
    pending_.clear();
    taken_ = 0;
    state_ = SocketState::kClosed;
  }

  int32_t send(const std::string& bytes) override {
    if (state_ != SocketState::kConnected && state_ != SocketState::kClosing) return kWsaNotConnected;
    // A memory buffer takes every record at once: the write is whole.
    if (!bytes.empty() && SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) <= 0) {
      const std::string why = engineReason();
      loop_.post([this, alive = alive_, generation = generation_, why] {
        if (*alive && generation == generation_) fail(kTlsChannelFailed, "the secure channel failed: " + why);
      });
      return 0;
    }
    return flushOut();
  }

  int takeByte() override {
    if (taken_ >= pending_.size()) return -1;
    const int byte = static_cast<unsigned char>(pending_[taken_++]);
    if (taken_ == pending_.size()) {
      pending_.clear();
      taken_ = 0;
    }
    return byte;
  }

  std::string takeAll() override {
    std::string bytes = taken_ == 0 ? std::move(pending_) : pending_.substr(taken_);
    pending_.clear();
    taken_ = 0;
    return bytes;
  }

  int32_t pendingBytes() const override { return static_cast<int32_t>(pending_.size() - taken_); }

  std::string remoteIp() const override {
    if (state_ != SocketState::kConnected && state_ != SocketState::kClosing) return "";
    return transport_->remoteIp();
  }

 private:
  static int exIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
  }

  // OpenSSL hands over each session the server grants (TLS 1.3 sends them
  // after the handshake); the latest one is offered next time.
  static int onNewSession(SSL* ssl, SSL_SESSION* session) {
    auto* self = static_cast<OpenSslTlsClient*>(SSL_get_ex_data(ssl, exIndex()));
    if (!self) return 0;
    self->sessions_[self->sessionKey_] = Session(session);
    return 1;  // the reference is ours now
  }

  bool newEngine() {
    ssl_ = SSL_new(ctx_);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!ssl_ || !in || !out) {
      BIO_free(in);
      BIO_free(out);
      freeEngine();
      return false;
    }
    SSL_set_bio(ssl_, in, out);
    in_ = in;
    out_ = out;
    SSL_set_connect_state(ssl_);
    SSL_set_ex_data(ssl_, exIndex(), this);
    if (!isIpAddress(serverName_)) SSL_set_tlsext_host_name(ssl_, serverName_.c_str());
    if (verify_) {
      X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
      X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      if (isIpAddress(serverName_)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, serverName_.c_str());
      } else {
        X509_VERIFY_PARAM_set1_host(param, serverName_.c_str(), 0);
      }
    }
    if (auto found = sessions_.find(sessionKey_); found != sessions_.end()) SSL_set_session(ssl_, found->second.get());
    return true;
  }

  void freeEngine() {
    if (ssl_) SSL_free(ssl_);  // frees both buffers
    ssl_ = nullptr;
    in_ = out_ = nullptr;
  }

  void handshake() {
    if (!ssl_) return;
    const int r = SSL_do_handshake(ssl_);
    if (flushOut() != 0) return;
    if (r == 1) {
      state_ = SocketState::kConnected;
      if (!notify([this] {
            if (handlers_.connected) handlers_.connected();
          }))
        return;
      // Records that came with the handshake's last flight.
      readPlain();
      return;
    }
    if (SSL_get_error(ssl_, r) == SSL_ERROR_WANT_READ) return;
    const long verdict = SSL_get_verify_result(ssl_);
    if (verify_ && verdict != X509_V_OK) {
      ERR_clear_error();
      return fail(kTlsCertificateRejected,
                  std::string("the server's certificate was rejected: ") + X509_verify_cert_error_string(verdict));
    }
    fail(kTlsChannelFailed, "the TLS handshake failed: " + engineReason());
  }

  void onTransportData() {
    if (!ssl_) return;
    const std::string bytes = transport_->takeAll();
    if (BIO_write(in_, bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size())) {
      return fail(kWsaNoBufferSpace, wsaDescription(kWsaNoBufferSpace));
    }
    if (state_ == SocketState::kConnecting) return handshake();
    readPlain();
  }

  // Decrypts whatever whole records the engine holds, then announces the
  // bytes, then the end of the stream or the failure that followed them.
  void readPlain() {
    bool atEnd = false;
    std::string failure;
    const size_t before = pendingBytes();
    while (true) {
      // Into the scratch buffer: growing the string by a chunk would first
      // fill the chunk with zeros.
      const int n = SSL_read(ssl_, readBuffer_.get(), static_cast<int>(kReadChunk));
      if (n > 0) {
        pending_.append(readBuffer_.get(), static_cast<size_t>(n));
        continue;
      }
      const int error = SSL_get_error(ssl_, n);
      if (error == SSL_ERROR_ZERO_RETURN) atEnd = true;
      else if (error != SSL_ERROR_WANT_READ) failure = engineReason();
      break;
    }
    // Reading may have produced records to send (a key update's answer).
    if (flushOut() != 0) return;
    if (static_cast<size_t>(pendingBytes()) > before && !notify([this] {
          if (handlers_.dataArrival) handlers_.dataArrival(pendingBytes());
        }))
      return;
    if (!failure.empty()) return fail(kTlsChannelFailed, "the secure channel failed: " + failure);
    if (atEnd) peerClosed();
  }

  void onTransportClosed() {
    if (state_ == SocketState::kConnecting) {
      return fail(kTlsChannelFailed, "the server closed the connection during the TLS handshake");
    }
    if (state_ == SocketState::kConnected) peerClosed();
  }

  void peerClosed() {
    if (state_ != SocketState::kConnected) return;
    state_ = SocketState::kClosing;
    notify([this] {
      if (handlers_.closed) handlers_.closed();
    });
  }

  // Hands the engine's output to the transport. 0, or the transport's error
  // after which the client has failed.
  int32_t flushOut() {
    std::string out;
    char buffer[kReadChunk];
    for (int n; (n = BIO_read(out_, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
    if (out.empty()) return 0;
    const int32_t error = transport_->send(out);
    if (error) fail(error, wsaDescription(error));
    return error;
  }

  // The connection is useless after an error: it is released at once, the
  // state stays kError until close() or a new connect().
  void fail(int32_t number, const std::string& description) {
    transport_->close();
    freeEngine();
    state_ = SocketState::kError;
    notify([this, number, &description] {
      if (handlers_.error) handlers_.error(number, description);
    });
  }

  // Runs a handler; false when the client was destroyed or closed meanwhile.
  template <typename Fn>
  bool notify(Fn&& fn) {
    std::shared_ptr<bool> alive = alive_;
    const uint64_t generation = generation_;
    fn();
    return *alive && generation == generation_;
  }

  event::EventLoop& loop_;
  std::unique_ptr<TcpClient> transport_;
  SSL_CTX* ctx_;
  bool verify_ = true;
  std::string setupError_;
  Handlers handlers_;
  SocketState state_ = SocketState::kClosed;
  std::string serverName_;
  std::string sessionKey_;  // server name and port of the current connection
  std::map<std::string, Session> sessions_;
  SSL* ssl_ = nullptr;
  BIO* in_ = nullptr;   // what the server sent, for the engine
  BIO* out_ = nullptr;  // what the engine has for the server
  std::unique_ptr<char[]> readBuffer_{new char[kReadChunk]};
  std::string pending_;
  size_t taken_ = 0;
  uint64_t generation_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace

}  // namespace harbek::net

HARBEK_MODULE_ABI(harbek_make_tls_client)

extern "C" __attribute__((visibility("default"))) harbek::net::TlsClient* harbek_make_tls_client(
    harbek::event::EventLoop* loop, harbek::net::TcpClient* transport, const harbek::net::TlsOptions* options) {
  return new harbek::net::OpenSslTlsClient(*loop, std::unique_ptr<harbek::net::TcpClient>(transport), *options);
}

// makeTlsClient: the TLS engine is the module harbek-tls.so, loaded at the
// first https connection, so a crawl of plain http sites never maps OpenSSL
// (about 1.5 MB of memory). Without the module every connect fails at once
// with the reason, as a file of trusted certificates that cannot be read does.
#include <string>

#include "platform/fs/program_module.h"
#include "platform/net/socket_errors.h"
#include "platform/net/tls_client.h"

extern "C" harbek::net::TlsClient* harbek_make_tls_client(harbek::event::EventLoop* loop,
                                                          harbek::net::TcpClient* transport,
                                                          const harbek::net::TlsOptions* options);

namespace harbek::net {
namespace {

using Factory = decltype(&harbek_make_tls_client);

class MissingTlsClient final : public TlsClient {
 public:
  MissingTlsClient(event::EventLoop& loop, std::string why) : loop_(loop), why_(std::move(why)) {}
  ~MissingTlsClient() override { *alive_ = false; }

  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  SocketState state() const override { return state_; }
  void setServerName(const std::string&) override {}
  int32_t connect(const std::string&, uint16_t) override {
    state_ = SocketState::kConnecting;
    loop_.post([this, alive = alive_] {
      if (!*alive || state_ != SocketState::kConnecting) return;
      state_ = SocketState::kClosed;
      if (handlers_.error) handlers_.error(kTlsChannelFailed, why_);
    });
    return 0;
  }
  void close() override { state_ = SocketState::kClosed; }
  int32_t send(const std::string&) override { return kWsaNotConnected; }
  int32_t pendingBytes() const override { return 0; }
  int takeByte() override { return -1; }
  std::string takeAll() override { return {}; }
  std::string remoteIp() const override { return {}; }

 private:
  event::EventLoop& loop_;
  std::string why_;
  Handlers handlers_;
  SocketState state_ = SocketState::kClosed;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace

std::unique_ptr<TlsClient> makeTlsClient(event::EventLoop& loop, std::unique_ptr<TcpClient> transport,
                                         const TlsOptions& options) {
  static std::string why;
  static const Factory factory =
      reinterpret_cast<Factory>(fs::programModuleSymbol("harbek-tls.so", "harbek_make_tls_client", why));
  if (!factory) return std::make_unique<MissingTlsClient>(loop, "no TLS engine: " + why);
  return std::unique_ptr<TlsClient>(factory(&loop, transport.release(), &options));
}

}  // namespace harbek::net

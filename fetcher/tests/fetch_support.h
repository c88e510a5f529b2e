// What the fetcher's tests share: an owner that records every event, and a
// TCP client whose connects and arrivals a test scripts.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "fetcher/html.h"
#include "platform/text/text.h"

namespace harbek::fetcher::testing {

// Each event as one line of text ("ShowState 接收到数据", "Progress 0/12",
// "SaveFile /a.htm 12"); the body pieces are kept joined.
struct Recorder : HtmlEvents {
  std::vector<std::string> events;
  Bytes saved;
  std::vector<std::pair<std::u16string, std::u16string>> tags;
  std::vector<std::pair<int32_t, int32_t>> progress;  // tagProgress
  std::function<void(const std::u16string&)> onState;

  void SaveFile(const std::u16string& fileName, const Bytes& Data, int32_t CurrLen) override {
    events.push_back("SaveFile " + text::toUtf8(fileName) + " " + std::to_string(CurrLen));
    saved += Data;
  }
  void Progress(int32_t CurrLen, int32_t allLen) override {
    events.push_back("Progress " + std::to_string(CurrLen) + "/" + std::to_string(allLen));
  }
  void tagProgress(int32_t CurrLen, int32_t allLen) override { progress.emplace_back(CurrLen, allLen); }
  void ShowState(const std::u16string& State) override {
    events.push_back("ShowState " + text::toUtf8(State));
    if (onState) onState(State);
  }
  void GetTag(const std::u16string& TagName, const std::u16string& TagDis) override {
    tags.emplace_back(TagName, TagDis);
  }
};

// Connects succeed on the next pump unless a result is queued; arrivals are
// delivered when the test says so.
class FakeTcpClient : public net::TcpClient {
 public:
  explicit FakeTcpClient(event::EventLoop& loop) : loop_(loop) {}

  std::deque<int32_t> connectResults;  // immediate results, 0 once empty
  std::vector<std::string> connects;   // "host:port" per connect
  std::vector<std::string> sent;
  int closes = 0;
  net::SocketState state_ = net::SocketState::kClosed;
  std::function<void()> onSend;

  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  net::SocketState state() const override { return state_; }
  int32_t connect(const std::string& host, uint16_t port) override {
    connects.push_back(host + ":" + std::to_string(port));
    int32_t result = 0;
    if (!connectResults.empty()) {
      result = connectResults.front();
      connectResults.pop_front();
    }
    if (result != 0) return result;
    state_ = net::SocketState::kConnecting;
    loop_.post([this, generation = generation_] {
      if (generation == generation_) state_ = net::SocketState::kConnected;
    });
    return 0;
  }
  void close() override {
    ++closes;
    ++generation_;
    state_ = net::SocketState::kClosed;
    pending_.clear();
  }
  int32_t send(const std::string& bytes) override {
    sent.push_back(bytes);
    if (onSend) onSend();
    return 0;
  }
  int takeByte() override { return -1; }  // the control takes whole arrivals
  std::string takeAll() override { return std::exchange(pending_, {}); }
  int32_t pendingBytes() const override { return static_cast<int32_t>(pending_.size()); }
  std::string remoteIp() const override { return "10.0.0.1"; }

  void arrive(const std::string& bytes) {
    pending_ += bytes;
    if (handlers_.dataArrival) handlers_.dataArrival(static_cast<int32_t>(pending_.size()));
  }

 private:
  event::EventLoop& loop_;
  Handlers handlers_;
  std::string pending_;
  uint64_t generation_ = 0;
};

}  // namespace harbek::fetcher::testing

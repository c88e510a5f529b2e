// An event loop that checks, when it goes, that nothing is left registered on
// it: no timer, no watch, no posted task. Tests hold it where they would hold
// the loop itself (it dereferences to the loop), declared before whatever
// registers on it, so that those are gone first and the check sees the end
// state. A registration left behind fails the test that made it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/event/event_loop.h"

namespace harbek::testing {

// Fails the running test, naming what is left on loop.
inline void expectNothingRegistered(const event::EventLoop& loop, const std::string& where = "") {
  EXPECT_EQ(loop.timerCount(), 0u) << "timers left registered " << where;
  EXPECT_EQ(loop.watchCount(), 0u) << "fd watches left registered " << where;
  EXPECT_EQ(loop.postedCount(), 0u) << "posted tasks left unrun " << where;
}

class CheckedLoop {
 public:
  CheckedLoop() : loop_(event::makePollLoop()) {}
  explicit CheckedLoop(std::unique_ptr<event::EventLoop> loop) : loop_(std::move(loop)) {}
  ~CheckedLoop() {
    if (loop_) expectNothingRegistered(*loop_, "when the loop went");
  }
  CheckedLoop(const CheckedLoop&) = delete;
  CheckedLoop& operator=(const CheckedLoop&) = delete;

  event::EventLoop& operator*() const { return *loop_; }
  event::EventLoop* operator->() const { return loop_.get(); }
  event::EventLoop* get() const { return loop_.get(); }

 private:
  std::unique_ptr<event::EventLoop> loop_;
};

// A test fixture over a checked loop (the poll loop unless a derived fixture
// passes another).
class LoopTest : public ::testing::Test {
 protected:
  LoopTest() = default;
  explicit LoopTest(std::unique_ptr<event::EventLoop> loop) : loop_(std::move(loop)) {}
  CheckedLoop loop_;
};

}  // namespace harbek::testing

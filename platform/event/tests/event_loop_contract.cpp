// The event loop's contract: every case runs against each loop a test
// program instantiates the suite with (see event_loop_contract.h).
#include "platform/event/tests/event_loop_contract.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tests/support/checked_loop.h"

namespace harbek::event {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using harbek::testing::expectNothingRegistered;

// A pipe closed by its destructor.
struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  void put(const char* bytes) { ASSERT_GT(::write(fds[1], bytes, strlen(bytes)), 0); }
  void closeWriter() {
    ::close(fds[1]);
    fds[1] = -1;
  }
};

void pumpFor(EventLoop& loop, std::chrono::milliseconds span) {
  auto end = Clock::now() + span;
  while (Clock::now() < end) loop.pumpOnce();
}

TEST_P(EventLoopContract, TimersFireInDueOrderAndOneShotsLeave) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  std::string order;
  struct Case {
    int ms;
    char tag;
  } cases[] = {{30, 'c'}, {0, 'a'}, {15, 'b'}, {45, 'd'}};
  for (const Case& c : cases) loop->addTimer(std::chrono::milliseconds(c.ms), false, [&order, c] { order += c.tag; });
  TimerId cancelled = loop->addTimer(20ms, false, [&order] { order += 'x'; });
  loop->cancelTimer(cancelled);
  pumpFor(*loop, 80ms);
  EXPECT_EQ(order, "abcd");
  loop->cancelTimer(cancelled);  // already gone: nothing happens
  expectNothingRegistered(*loop);
}

TEST_P(EventLoopContract, RepeatingTimerCancelsItselfAndZeroIntervalWaitsForNextPump) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  int ticks = 0;
  TimerId id = 0;
  id = loop->addTimer(5ms, true, [&] {
    if (++ticks == 3) loop->cancelTimer(id);
  });
  pumpFor(*loop, 60ms);
  EXPECT_EQ(ticks, 3);

  // A zero timer added by a handler does not run in the same pump.
  int zeroRuns = 0;
  loop->addTimer(0ms, false, [&] { loop->addTimer(0ms, false, [&] { ++zeroRuns; }); });
  loop->pumpOnce(0ms);
  EXPECT_EQ(zeroRuns, 0);
  loop->pumpOnce(0ms);
  EXPECT_EQ(zeroRuns, 1);
  expectNothingRegistered(*loop);
}

TEST_P(EventLoopContract, PostedTasksRunInOrderAndTasksPostedByTasksWait) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  std::string order;
  loop->post([&] {
    order += '1';
    loop->post([&] { order += '3'; });
  });
  loop->post([&] { order += '2'; });
  loop->pumpOnce(0ms);
  EXPECT_EQ(order, "12");
  auto start = Clock::now();
  loop->pumpOnce(1000ms);  // a waiting task means no wait
  EXPECT_LT(Clock::now() - start, 500ms);
  EXPECT_EQ(order, "123");
  expectNothingRegistered(*loop);
}

TEST_P(EventLoopContract, WatchReportsReadinessLevelTriggeredUntilRemoved) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  Pipe pipe;
  std::vector<unsigned> seen;
  WatchId id = loop->watchFd(pipe.fds[0], kReadable, [&](unsigned ready) { seen.push_back(ready); });
  loop->pumpOnce(0ms);
  EXPECT_TRUE(seen.empty());
  pipe.put("x");
  loop->pumpOnce(0ms);
  loop->pumpOnce(0ms);  // not drained: fires again
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], kReadable);
  loop->updateWatch(id, 0);  // asks for nothing: silent
  loop->pumpOnce(0ms);
  EXPECT_EQ(seen.size(), 2u);
  loop->updateWatch(id, kReadable);
  pipe.closeWriter();
  char buf[4];
  ASSERT_EQ(::read(pipe.fds[0], buf, sizeof buf), 1);
  loop->pumpOnce(0ms);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2], kReadable | kError);  // hang-up
  loop->removeWatch(id);
  loop->pumpOnce(0ms);
  EXPECT_EQ(seen.size(), 3u);
  expectNothingRegistered(*loop);
}

TEST_P(EventLoopContract, HandlersRemoveThemselvesAndOthersSafely) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  Pipe a, b;
  a.put("a");
  b.put("b");
  int callsA = 0, callsB = 0;
  WatchId idA = 0, idB = 0;
  // Whichever runs first removes both; the other must not be called.
  idA = loop->watchFd(a.fds[0], kReadable, [&](unsigned) {
    ++callsA;
    loop->removeWatch(idA);
    loop->removeWatch(idB);
  });
  idB = loop->watchFd(b.fds[0], kReadable, [&](unsigned) {
    ++callsB;
    loop->removeWatch(idA);
    loop->removeWatch(idB);
  });
  TimerId t1 = 0, t2 = 0;
  int timerCalls = 0;
  t1 = loop->addTimer(0ms, true, [&] {
    ++timerCalls;
    loop->cancelTimer(t1);
    loop->cancelTimer(t2);
  });
  t2 = loop->addTimer(0ms, true, [&] {
    ++timerCalls;
    loop->cancelTimer(t1);
    loop->cancelTimer(t2);
  });
  loop->pumpOnce(0ms);
  loop->pumpOnce(0ms);
  EXPECT_EQ(callsA + callsB, 1);
  EXPECT_EQ(timerCalls, 1);
  expectNothingRegistered(*loop);
}

TEST_P(EventLoopContract, NestedPumpRunsOtherEventsButNeverReentersARunningHandler) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  Pipe pipe;
  pipe.put("x");  // stays unread: the watch is ready on every pump
  int depth = 0, maxDepth = 0, watchCalls = 0, timerCalls = 0, tickCalls = 0;
  WatchId watch = loop->watchFd(pipe.fds[0], kReadable, [&](unsigned) {
    ++watchCalls;
    maxDepth = std::max(maxDepth, ++depth);
    for (int i = 0; i < 5; ++i) loop->pumpOnce(2ms);
    --depth;
  });
  // An overdue repeating timer whose handler pumps must not recurse either.
  TimerId tick = loop->addTimer(0ms, true, [&] {
    ++tickCalls;
    maxDepth = std::max(maxDepth, ++depth);
    loop->pumpOnce(2ms);
    --depth;
  });
  loop->addTimer(1ms, false, [&] { ++timerCalls; });
  loop->pumpOnce(0ms);
  EXPECT_EQ(timerCalls, 1);  // ran nested
  EXPECT_LE(maxDepth, 2);    // watch inside tick or tick inside watch, never deeper
  EXPECT_GE(watchCalls, 1);
  EXPECT_GE(tickCalls, 1);
  loop->removeWatch(watch);
  loop->cancelTimer(tick);
  expectNothingRegistered(*loop);
}

TEST_P(EventLoopContract, QuitFromAHandlerEndsRun) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  int ticks = 0;
  TimerId id = loop->addTimer(2ms, true, [&] {
    if (++ticks == 4) loop->quit();
  });
  loop->run();
  EXPECT_EQ(ticks, 4);
  loop->cancelTimer(id);
  expectNothingRegistered(*loop);
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto secs = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
  return secs(usage.ru_utime) + secs(usage.ru_stime);
}

TEST_P(EventLoopContract, IdlePumpingCostsNoCpu) {
  harbek::testing::CheckedLoop loop(GetParam().make());
  Pipe pipe;  // an idle watch, as a waiting fetch has
  WatchId id = loop->watchFd(pipe.fds[0], kReadable, [](unsigned) {});
  double before = cpuSeconds();
  int pumps = 0;
  auto end = Clock::now() + 3s;
  while (Clock::now() < end) {
    loop->pumpOnce();
    ++pumps;
  }
  double used = cpuSeconds() - before;
  std::cout << "idle pumping: " << pumps << " pumps in 3 s, " << used << " s CPU\n";
  EXPECT_LT(used, 0.1);
  EXPECT_LE(pumps, 3000 / 5 + 10);  // each pump waited its 5 ms
  loop->removeWatch(id);
  expectNothingRegistered(*loop);
}

}  // namespace
}  // namespace harbek::event

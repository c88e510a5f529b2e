// The event loop's contract as one test suite, run against every
// implementation: the poll loop here, the Qt loop in crawler/windows/tests.
// A test program compiles event_loop_contract.cpp and instantiates the suite
// with its loops:
//   INSTANTIATE_TEST_SUITE_P(Poll, EventLoopContract,
//       ::testing::Values(LoopFactory{"poll", [] { return makePollLoop(); }}), loopName);
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/event/event_loop.h"

namespace harbek::event {

struct LoopFactory {
  std::string name;
  std::function<std::unique_ptr<EventLoop>()> make;
};

class EventLoopContract : public ::testing::TestWithParam<LoopFactory> {};

inline std::string loopName(const ::testing::TestParamInfo<LoopFactory>& info) { return info.param.name; }

}  // namespace harbek::event

// The poll loop against the event loop's contract suite.
#include "platform/event/tests/event_loop_contract.h"

namespace harbek::event {

INSTANTIATE_TEST_SUITE_P(Poll, EventLoopContract, ::testing::Values(LoopFactory{"poll", [] { return makePollLoop(); }}),
                         loopName);

}  // namespace harbek::event

#include "tests/support/sim_test.h"

#include "platform/sim/threads.h"

void SimTest::SetUp() { sim::Reset(); }

void SimTest::TearDown() {
  // Threads still finishing close their runtime handles; none may outlive the test.
  EXPECT_TRUE(sim::JoinAllThreads(5000)) << "simulated threads still running";
  EXPECT_EQ(sim::DebugBreaks(), expectedDebugBreaks) << "unexpected debugger break";
  if (!skipLeakCheck) {
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << "local-heap blocks left allocated";
    EXPECT_EQ(sim::OpenHandles(), 0u) << "handles left open:\n" << sim::OpenHandleReport();
  }
  if (HasFailure()) {
    std::cerr << "---- call journal (last 120 calls) ----\n" << sim::DumpJournal(120);
  }
}

// The simulated machine's own core: journal, faults, clock and accounting behave as the tests
// that rely on them assume.
#include "tests/support/sim_test.h"

namespace {

class SimCoreTest : public SimTest {};

TEST_F(SimCoreTest, LocalAllocIsZeroedAndAccounted) {
  auto* block = static_cast<unsigned char*>(LocalAlloc(LMEM_ZEROINIT, 16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_EQ(sim::LiveHeapBlocks(), 1u);
  EXPECT_EQ(LocalFree(block), nullptr);
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
}

TEST_F(SimCoreTest, FaultsFailTheNthCallWithTheirCode) {
  sim::FailNth("LocalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY);
  HLOCAL first = LocalAlloc(LPTR, 4);
  SetLastError(0);
  HLOCAL second = LocalAlloc(LPTR, 4);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  HLOCAL third = LocalAlloc(LPTR, 4);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  LocalFree(first);
  LocalFree(third);
  auto calls = sim::Calls("LocalAlloc");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[1].faulted);
  EXPECT_EQ(calls[1].lastError, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(SimCoreTest, SleepAdvancesTheVirtualClock) {
  DWORD start = GetTickCount();
  Sleep(2000);
  Sleep(500);
  EXPECT_EQ(GetTickCount() - start, 2500u);
  auto sleeps = sim::Calls("Sleep");
  ASSERT_EQ(sleeps.size(), 2u);
  EXPECT_EQ(sleeps[0].args[0], "2000");
  EXPECT_EQ(sleeps[1].time, 2000u);
}

TEST_F(SimCoreTest, FreeingAnUnknownBlockFailsLikeWindows) {
  int local = 0;
  SetLastError(0);
  EXPECT_EQ(LocalFree(&local), &local);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace

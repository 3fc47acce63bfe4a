// The owners of handles and heap blocks, and the keeper of the last error: what each gives back
// and when.
#include "support/handles.h"
#include "support/strings.h"
#include "tests/support/sim_test.h"

namespace {

class HandlesTest : public SimTest {};

TEST_F(HandlesTest, BlocksAndStringsAreReleasedWhenTheirOwnerEnds) {
  {
    LocalBlock<WCHAR> block(AllocZeroedChars(4));
    HeapString copy(DuplicateString(TEXT("abc")));
    ASSERT_TRUE(block);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy[1], TEXT('b'));
    EXPECT_EQ(sim::LiveHeapBlocks(), 2u);
    copy.Reset(DuplicateString(TEXT("de")));  // the earlier block goes
    EXPECT_EQ(sim::LiveHeapBlocks(), 2u);
  }
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
}

TEST_F(HandlesTest, ReleaseHandsTheBlockOnAndAnEmptyOwnerClosesNothing) {
  LPWSTR kept = nullptr;
  {
    HeapString copy(DuplicateString(TEXT("x")));
    kept = copy.Release();
    EXPECT_FALSE(copy);
    HeapString empty;
    KernelHandle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid);
  }
  EXPECT_EQ(sim::CallCount("CloseHandle"), 0u);
  EXPECT_EQ(sim::LiveHeapBlocks(), 1u);
  LocalFree(kept);
}

TEST_F(HandlesTest, TheArgumentVectorIsReleasedWithGlobalFree) {
  sim::SetCommandLine(u"ZQInst.exe install d p x64");
  int count = 0;
  {
    ArgumentVector arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    ASSERT_TRUE(arguments);
    EXPECT_EQ(U8(arguments[1]), "install");
    EXPECT_GT(sim::LiveHeapBlocks(), 0u);
  }
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
}

TEST_F(HandlesTest, TheKeeperRestoresTheLastErrorAtTheEndOfItsScope) {
  SetLastError(ERROR_ACCESS_DENIED);
  {
    LastErrorKeeper keep;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // An owner's close, failed or not, leaves the code of the call that failed before it.
  HANDLE kept = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  sim::FailAlways("CloseHandle", ERROR_INVALID_HANDLE);
  {
    KernelHandle event(kept);
    SetLastError(ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  sim::ClearFaults();
  CloseHandle(kept);  // the failed close kept it
}

}  // namespace

#include "installation/installer_lock.h"

#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"

bool AcquireInstallerLock(HWND owner, KernelHandle* lock, RunOutcome* failure) {
  lock->Reset(CreateMutexW(nullptr, FALSE, InstallerLockName));
  DWORD wait = WAIT_FAILED;
  if (*lock) {
    wait = WaitForSingleObject(lock->Get(), 0);
    if (wait == WAIT_TIMEOUT) {
      SetStatus(owner, TEXT("他のインストーラの終了を待っています．"));
      wait = WaitForSingleObject(lock->Get(), InstallerLockWaitMs);
    }
  }
  if (wait == WAIT_ABANDONED) {
    // The installer that held it ended without letting go: the machine may be half changed, which
    // this run's own checks see; the lock is ours now.
    DebugLog("AcquireInstallerLock - taken over from an installer that ended without releasing it");
  }
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return true;
  // Timed out, or the lock could not be made or waited for: the code goes to the debugger output.
  if (wait == WAIT_TIMEOUT) {
    ReportErrorCode(ERROR_TIMEOUT, TEXT("他のインストーラが実行中です!"));
  } else {
    ReportError(TEXT("他のインストーラが実行中です!"));
  }
  lock->Reset();
  ShowErrorBox(owner, ProductTitle, TEXT("他のインストーラが実行中です!"));
  if (failure) *failure = wait == WAIT_TIMEOUT ? InstallerBusy : StepFailed;
  return false;
}

void ReleaseInstallerLock(KernelHandle* lock) {
  if (*lock) ReleaseMutex(lock->Get());
  lock->Reset();
}

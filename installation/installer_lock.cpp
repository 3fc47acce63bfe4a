#include "installation/installer_lock.h"

#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"

namespace {

// Makes (or opens) the lock's mutex: in the private namespace of the Administrators where there
// are private namespaces, the Global\ one where there are none. False when the mutex cannot be
// had; the last error is the failing call's.
bool MakeLockMutex(InstallerLock* lock) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(InstallerLockSecurity, SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return false;
  LocalBlock<void> descriptorBlock(descriptor);
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};

  auto useGlobalName = [&](LPCWSTR why) {
    DebugLogText("Lock", why);
    lock->mutex.Reset(CreateMutexW(&security, FALSE, InstallerLockName));
    return static_cast<bool>(lock->mutex);
  };
  BoundaryDescriptor boundary(CreateBoundaryDescriptorW(InstallerLockBoundary, 0));
  if (!boundary) {
    // No private namespaces here (Wine): the machine's namespace, with the same DACL. The SID is
    // never added to a boundary that does not exist: there the call itself may end the process.
    return useGlobalName(TEXT("mutex 'Global\\ZqDriver2.Installer' (no private namespaces here), "
                              "for Administrators and SYSTEM only"));
  }
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
    return false;
  HANDLE raw = boundary.Release();  // the call may move the descriptor
  BOOL added = AddSIDToBoundaryDescriptor(&raw, administrators);
  boundary.Reset(raw);
  if (!added) return false;
  // Another installer's namespace may go with its last handle between our making and opening
  // it: then it is made again, a few times at most.
  for (int attempt = 0; attempt < 3 && !lock->space; ++attempt) {
    lock->space.Reset(CreatePrivateNamespaceW(&security, boundary.Get(), InstallerLockNamespace));
    if (!lock->space && GetLastError() == ERROR_ALREADY_EXISTS)
      lock->space.Reset(OpenPrivateNamespaceW(boundary.Get(), InstallerLockNamespace));
    if (!lock->space && GetLastError() != ERROR_PATH_NOT_FOUND) break;
  }
  if (!lock->space && GetLastError() == ERROR_ACCESS_DENIED) {
    // A token that is no administrator's cannot make or open the namespace; such a run cannot
    // change the spooler either, and shares its lock with others like it.
    return useGlobalName(TEXT("mutex 'Global\\ZqDriver2.Installer' (the private namespace is "
                              "for administrators only), for Administrators and SYSTEM only"));
  }
  if (!lock->space) return false;
  DebugLogText("Lock", TEXT("mutex 'ZqDriver2\\Installer' in the private namespace of the "
                            "Administrators, for Administrators and SYSTEM only"));
  lock->mutex.Reset(CreateMutexW(&security, FALSE, InstallerLockObject));
  return static_cast<bool>(lock->mutex);
}

}  // namespace

bool AcquireInstallerLock(HWND owner, InstallerLock* lock, RunOutcome* failure) {
  DWORD wait = WAIT_FAILED;
  if (MakeLockMutex(lock)) {
    wait = WaitForSingleObject(lock->mutex.Get(), 0);
    if (wait == WAIT_TIMEOUT) {
      SetStatus(owner, TEXT("他のインストーラの終了を待っています．"));
      wait = WaitForSingleObject(lock->mutex.Get(), InstallerLockWaitMs);
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
  lock->mutex.Reset();
  lock->space.Reset();
  ShowErrorBox(owner, ProductTitle, TEXT("他のインストーラが実行中です!"));
  if (failure) *failure = wait == WAIT_TIMEOUT ? InstallerBusy : StepFailed;
  return false;
}

void ReleaseInstallerLock(InstallerLock* lock) {
  if (lock->mutex) ReleaseMutex(lock->mutex.Get());
  lock->mutex.Reset();
  lock->space.Reset();
}

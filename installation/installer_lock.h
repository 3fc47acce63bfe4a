// One installer at a time on a machine: a named mutex, named after the driver, that every run
// holds while it reads and changes the spooler. No one else can hold it: it lives in a private
// namespace whose boundary holds the Administrators SID (only an elevated token can make or open
// that namespace), and its DACL lets in Administrators and SYSTEM only. Where private namespaces
// are missing (Wine), the mutex is the Global\ one, with the same DACL. A second installer waits
// for it, with the status "他のインストーラの終了を待っています．", for at most five minutes.
#pragma once

#include "installation/outcome.h"
#include "platform/win32.h"
#include "support/handles.h"

inline constexpr WCHAR InstallerLockName[] = TEXT("Global\\ZqDriver2.Installer");
// The private namespace: its boundary's name, the alias it is opened under, and the mutex in it.
inline constexpr WCHAR InstallerLockBoundary[] = TEXT("ZqDriver2.Installer");
inline constexpr WCHAR InstallerLockNamespace[] = TEXT("ZqDriver2");
inline constexpr WCHAR InstallerLockObject[] = TEXT("ZqDriver2\\Installer");
// Administrators and SYSTEM, nobody else; not inherited.
inline constexpr WCHAR InstallerLockSecurity[] = TEXT("D:P(A;;GA;;;BA)(A;;GA;;;SY)");

// The lock's mutex and the namespace it was named in (none for the Global\ one).
struct InstallerLock {
  KernelHandle mutex;
  PrivateNamespace space;
};
inline constexpr DWORD InstallerLockWaitMs = 5 * 60 * 1000;

// Takes the lock on this thread; `owner` is the progress dialog (none in a quiet run) whose status
// line tells the person while another installer holds it. A lock abandoned by an installer that
// ended without letting go is taken over at once. On failure the error box (or record)
// "他のインストーラが実行中です!" has been shown and false is returned; `failure`, when given,
// then says why: InstallerBusy when the wait ran out, StepFailed when the lock could not be made
// or waited for.
[[nodiscard]] bool AcquireInstallerLock(HWND owner, InstallerLock* lock,
                                        RunOutcome* failure = nullptr);
// Lets go of a lock this thread took; the mutex and the namespace are closed.
void ReleaseInstallerLock(InstallerLock* lock);

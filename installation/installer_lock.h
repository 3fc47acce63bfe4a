// One installer at a time on a machine: a named mutex in the Global\ namespace, named after the
// driver, that every run holds while it reads and changes the spooler. A second installer waits
// for it, with the status "他のインストーラの終了を待っています．", for at most five minutes.
#pragma once

#include "installation/outcome.h"
#include "platform/win32.h"
#include "support/handles.h"

inline constexpr WCHAR InstallerLockName[] = TEXT("Global\\ZqDriver2.Installer");
inline constexpr DWORD InstallerLockWaitMs = 5 * 60 * 1000;

// Takes the lock on this thread; `owner` is the progress dialog (none in a quiet run) whose status
// line tells the person while another installer holds it. A lock abandoned by an installer that
// ended without letting go is taken over at once. On failure the error box (or record)
// "他のインストーラが実行中です!" has been shown and false is returned; `failure`, when given,
// then says why: InstallerBusy when the wait ran out, StepFailed when the lock could not be made
// or waited for.
bool AcquireInstallerLock(HWND owner, KernelHandle* lock, RunOutcome* failure = nullptr);
// Lets go of a lock this thread took; the handle is closed.
void ReleaseInstallerLock(KernelHandle* lock);

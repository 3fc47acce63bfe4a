// The simulated file system: what tests stage and inspect.
//
// Files live in a sandbox directory on the host, under the system's temporary directory, made
// fresh at every reset and removed when the process ends. Windows paths ("C:\\Windows\\...",
// "\\folder\\file" on the current drive, or relative to the current directory) are translated
// into it: drive letter first, then each component matched without regard to case against the
// entries that exist, as NTFS does. A fresh machine has the spooler's driver directories
// (C:\Windows\System32\spool\drivers\x64 and \w32x86) and the current directory C:\Installer.
#pragma once

#include <string>

#include "platform/sim/windows.h"

namespace sim {

// The host path a Windows path resolves to (the entry need not exist).
std::string HostPath(const std::u16string& windowsPath);
// Absolute Windows form of a path, "." and ".." resolved, against the current directory.
std::u16string FullPath(const std::u16string& windowsPath);
void SetCurrentDir(const std::u16string& windowsPath);  // made when missing
std::u16string CurrentDir();

// Test helpers; parents are made as needed.
void MakeDir(const std::u16string& windowsPath);
void PutFile(const std::u16string& windowsPath, const std::string& contents);
std::string FileContents(const std::u16string& windowsPath);  // "" when missing
bool FileExists(const std::u16string& windowsPath);           // a file, not a folder
bool DirExists(const std::u16string& windowsPath);

// Knobs. A locked file is held open by another process without delete sharing: DeleteFileW fails
// with ERROR_SHARING_VIOLATION and copying over it too. `attempts` deletions fail, then the lock is
// let go; -1 keeps it for good. A read-only file cannot be deleted or overwritten (access denied).
void LockFile(const std::u16string& windowsPath, int attempts = -1);
void SetReadOnly(const std::u16string& windowsPath, bool readOnly = true);

}  // namespace sim

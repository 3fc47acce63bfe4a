// The simulated file system: what tests stage and inspect.
//
// Files live in a sandbox directory on the host, under the system's temporary directory, made
// fresh at every reset and removed when the process ends. Windows paths ("C:\\Windows\\...",
// "\\folder\\file" on the current drive, or relative to the current directory) are translated
// into it: drive letter first, then each component matched without regard to case against the
// entries that exist, as NTFS does. A fresh machine has the spooler's driver directories
// (C:\Windows\System32\spool\drivers\x64 and \w32x86; as in a fresh Wine prefix, not the
// "arm64" folder GetPrinterDriverDirectoryW names for "Windows ARM64"), the current directory C:\Installer and
// the user's temporary folder (DefaultTempPath).
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
// The system's own deletion of a file (the spooler deleting a driver's files): false when it is
// missing, a folder, locked or read-only. Not a simulated call.
bool RemoveFile(const std::u16string& windowsPath);

// Knobs. A locked file is held open by another process without delete sharing: DeleteFileW fails
// with ERROR_SHARING_VIOLATION and copying over it too. `attempts` deletions fail, then the lock is
// let go; -1 keeps it for good. A read-only file cannot be deleted or overwritten (access denied).
void LockFile(const std::u16string& windowsPath, int attempts = -1);
void SetReadOnly(const std::u16string& windowsPath, bool readOnly = true);
// Sharing between the simulation's own file handles (file_io.cpp): an open handle holds its file
// with its access and sharing mode until it is closed. `access` takes GENERIC_READ, GENERIC_WRITE
// and, for a deletion, DeleteAccess; `share` the FILE_SHARE_ flags.
inline constexpr DWORD DeleteAccess = 0x00010000;  // the standard right DELETE
void HoldFile(const std::u16string& windowsPath, DWORD access, DWORD share);
void ReleaseFile(const std::u16string& windowsPath, DWORD access, DWORD share);
// True when every handle open on the file allows one more opening with this access and sharing.
bool SharingAllows(const std::u16string& windowsPath, DWORD access, DWORD share);
// What the knobs above say about a path (used by file handles, file_io.cpp).
bool IsLocked(const std::u16string& windowsPath);
// An opening for deletion of a locked file counts as one refused deletion, as DeleteFileW does:
// true when the lock refuses it (and one of its refusals is used up).
bool LockRefusesDeletion(const std::u16string& windowsPath);
bool IsReadOnly(const std::u16string& windowsPath);

// Links. A symbolic link to a file and a junction to a folder are reparse points that an opening
// follows (host symbolic links underneath), except one with FILE_FLAG_OPEN_REPARSE_POINT, which
// opens the link itself; GetFileAttributesW reports FILE_ATTRIBUTE_REPARSE_POINT for the link
// without following it. MarkReparsePoint makes a plain file a reparse point of another kind (a
// placeholder a file-system filter serves): its own contents are what an opening reads and
// writes, followed or not. MakeHardLink gives an existing file one more name; every name counts
// in the link count GetFileInformationByHandle reports.
void MakeSymbolicLink(const std::u16string& link, const std::u16string& target);
void MakeJunction(const std::u16string& link, const std::u16string& targetFolder);
void MarkReparsePoint(const std::u16string& windowsPath);
void MakeHardLink(const std::u16string& link, const std::u16string& existing);
// What the file handles ask (file_io.cpp): whether the entry itself is a reparse point (a link
// or a marked file), whether it is a link that names another entry, and the entry's link count
// (of the link itself, or of what it names).
bool IsReparsePoint(const std::u16string& windowsPath);
bool IsLink(const std::u16string& windowsPath);
DWORD LinkCount(const std::u16string& windowsPath, bool ofTheLinkItself);
// The path the entry is reached by once every link on the way is followed (the last one too,
// unless `ofTheLinkItself`), as the file system stores its names; empty when it cannot be told.
std::u16string FinalPath(const std::u16string& windowsPath, bool ofTheLinkItself);
// The host entry a deletion of the path removes: the link itself, or what the path reaches.
std::string HostPathToDelete(const std::u16string& windowsPath, bool ofTheLinkItself);

// ----- file handles, temporary files (file_io.cpp) -----
// The full path a file handle was opened by, for the journal of its closing ("" for another).
std::string FileHandlePath(HANDLE handle);
// GetTempPathW's folder on a fresh machine; it exists.
inline constexpr char16_t DefaultTempPath[] = u"C:\\Users\\Tester\\AppData\\Local\\Temp\\";
// The folder GetTempPathW reports (a trailing backslash is added when missing, as Windows does
// with the TMP variable). The folder is not made: GetTempPathW does not look at it either.
void SetTempPath(const std::u16string& windowsPath);
// The next WriteFile calls (`times` of them, -1: all) succeed but write at most `maxBytes`, as a
// pipe or a device may; the caller sees the count in its written-bytes argument.
void LimitWrites(DWORD maxBytes, int times = -1);

}  // namespace sim

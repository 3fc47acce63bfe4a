// Simulated file handles and temporary files: CreateFileW, ReadFile and WriteFile over the file
// sandbox (files.cpp), GetTempPathW and GetTempFileNameW with the platform's naming rule,
// GetFullPathNameW, GetFinalPathNameByHandleW (the "\\?\" form of the path the handle reached,
// every link followed but one opened as itself) and the deletion of a handle's file through
// SetFileInformationByHandle(FileDispositionInfo): the handle needs DELETE access, a read-only
// file is refused, and the entry (the link itself for a link opened as itself) goes when the
// handle is closed.
//
// A file handle is an accounted handle of kind "file" holding a host stream; CloseHandle releases
// it like any other kernel handle. Modelled: the five creation dispositions with the error and
// last-error codes Windows gives, read-only and locked files, synchronous writes at the file
// pointer, sharing between the simulation's own handles (ERROR_SHARING_VIOLATION, as Windows
// checks it between processes too), appending handles (FILE_APPEND_DATA: every write lands at the
// end), links (files.h): followed unless FILE_FLAG_OPEN_REPARSE_POINT asks for the link itself,
// and GetFileInformationByHandle's attributes, size and link count (with FILE_READ_ATTRIBUTES).
// Not modelled: overlapped I/O, other attributes and flags (ignored).
#include <cstdio>
#include <fstream>

#include "platform/sim/files.h"
#include "platform/sim/sim.h"

// Handles hold host streams: the host's fopen, not the runtime's (which takes Windows paths).
#undef fopen

namespace sim {
namespace {

struct OpenFile {
  std::u16string path;  // full Windows path
  DWORD access = 0;
  DWORD share = 0;
  bool held = false;
  bool append = false;      // FILE_APPEND_DATA without FILE_WRITE_DATA
  bool linkItself = false;  // a link opened as itself (FILE_FLAG_OPEN_REPARSE_POINT)
  FILE* stream = nullptr;  // none for a link opened as itself
  std::string deleteOnClose;  // the host entry a disposition marked for deletion
  ~OpenFile() {
    if (stream) std::fclose(stream);
    if (held) ReleaseFile(path, access, share);
    if (!deleteOnClose.empty()) std::remove(deleteOnClose.c_str());
  }
};

struct FileIoModel {
  std::u16string tempPath = DefaultTempPath;
  DWORD writeLimit = 0;
  int limitedWrites = 0;  // -1: every write is limited
  UINT nextTempNumber = 1;
};

FileIoModel& model() {
  static FileIoModel* instance = new FileIoModel;
  return *instance;
}

const bool registered = (RegisterResetHook("file_io", [] { model() = FileIoModel{}; }), true);

bool Writes(DWORD access) {
  return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}
bool Reads(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL)) != 0; }
bool ReadsAttributes(DWORD access) {
  return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_ATTRIBUTES)) != 0;
}

std::u16string ParentOf(const std::u16string& full) {
  size_t slash = full.rfind(u'\\');
  return slash <= 2 ? full.substr(0, 3) : full.substr(0, slash);
}

std::u16string UpperHex(UINT value) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  std::u16string out;
  do {
    out.insert(out.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value);
  return out;
}

bool MakeEmptyFile(const std::u16string& path) {
  std::ofstream out(HostPath(path), std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out);
}

}  // namespace

std::string FileHandlePath(HANDLE handle) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto object = Lookup<OpenFile>(handle, "file");
  return object ? Utf8(object->path) : std::string();
}

void SetTempPath(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().tempPath = windowsPath;
}

void LimitWrites(DWORD maxBytes, int times) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().writeLimit = maxBytes;
  model().limitedWrites = times;
}

}  // namespace sim

using sim::Call;
using sim::Lock;

HANDLE CreateFileW(LPCWSTR file, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
  Call call("CreateFileW", {sim::Utf8(file), sim::Hex(access), sim::Hex(share),
                            std::to_string(disposition), sim::Hex(flags)});
  if (call.Faulted()) return call.Ret(INVALID_HANDLE_VALUE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !sim::Writes(access))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret(INVALID_HANDLE_VALUE);
  }
  if (!file || !*file) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret(INVALID_HANDLE_VALUE);
  }
  std::u16string full = sim::FullPath(file);
  if (!sim::DirExists(sim::ParentOf(full))) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret(INVALID_HANDLE_VALUE);
  }
  const bool linkItself = (flags & FILE_FLAG_OPEN_REPARSE_POINT) && sim::IsLink(full);
  if (linkItself) {
    // The link is opened, not what it names: it exists, whatever it points at.
    if (sim::DirExists(full) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {  // a junction
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret(INVALID_HANDLE_VALUE);
    }
    if (disposition == CREATE_NEW) {
      SetLastError(ERROR_FILE_EXISTS);
      return call.Ret(INVALID_HANDLE_VALUE);
    }
    auto object = std::make_shared<sim::OpenFile>();
    object->path = full;
    object->access = access;
    object->share = share;
    object->linkItself = true;
    bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return call.Ret(sim::NewHandle("file", object));
  }
  if (sim::DirExists(full)) {  // a folder needs backup semantics, which are not modelled
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret(INVALID_HANDLE_VALUE);
  }
  bool exists = sim::FileExists(full);
  if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return call.Ret(INVALID_HANDLE_VALUE);
  }
  if (exists && disposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return call.Ret(INVALID_HANDLE_VALUE);
  }
  bool truncates = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  if (exists && sim::IsReadOnly(full) && (sim::Writes(access) || truncates)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret(INVALID_HANDLE_VALUE);
  }
  // Held by another process without sharing; an opening for deletion uses up one of the lock's
  // refusals, as a deletion does.
  bool locked = (access & DELETE) ? sim::LockRefusesDeletion(full) : sim::IsLocked(full);
  if (exists && (locked || !sim::SharingAllows(full, access, share))) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return call.Ret(INVALID_HANDLE_VALUE);
  }

  if (!exists || truncates) {
    if (!sim::MakeEmptyFile(full)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret(INVALID_HANDLE_VALUE);
    }
  }
  auto object = std::make_shared<sim::OpenFile>();
  object->path = full;
  object->access = access;
  object->share = share;
  object->append = (access & FILE_APPEND_DATA) && !(access & (FILE_WRITE_DATA | GENERIC_WRITE |
                                                               GENERIC_ALL));
  if (sim::Writes(access) || sim::Reads(access)) {
    object->stream = std::fopen(sim::HostPath(full).c_str(), sim::Writes(access) ? "r+b" : "rb");
    if (!object->stream) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret(INVALID_HANDLE_VALUE);
    }
  }
  // Windows reports that an existing file was opened (or overwritten) through the last error.
  sim::HoldFile(full, access, share);
  object->held = true;
  bool reportsExisting = exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return call.Ret(sim::NewHandle("file", object));
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped) {
  Call call("WriteFile", {sim::Ptr(file), sim::Ptr(buffer), std::to_string(bytes)});
  // Windows zeroes the count before doing any work, so a failed call reports 0 bytes.
  if (written) *written = 0;
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto object = sim::Lookup<sim::OpenFile>(file, "file");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (overlapped || !written) {  // synchronous handles only; the count is then required
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (!sim::Writes(object->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  if (!buffer && bytes) {
    SetLastError(ERROR_NOACCESS);
    return call.Ret<BOOL>(FALSE);
  }
  if (!object->stream) {  // a link opened as itself holds no data here
    SetLastError(ERROR_INVALID_FUNCTION);
    return call.Ret<BOOL>(FALSE);
  }
  if (object->append) std::fseek(object->stream, 0, SEEK_END);
  auto& m = sim::model();
  DWORD count = bytes;
  if (m.limitedWrites != 0) {
    if (count > m.writeLimit) count = m.writeLimit;
    if (m.limitedWrites > 0) --m.limitedWrites;
  }
  if (count && (std::fwrite(buffer, 1, count, object->stream) != count ||
                std::fflush(object->stream) != 0)) {
    SetLastError(ERROR_DISK_FULL);
    return call.Ret<BOOL>(FALSE);
  }
  *written = count;
  call.SetResult("1, wrote " + std::to_string(count));
  return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
  Call call("ReadFile", {sim::Ptr(file), std::to_string(bytes)});
  if (read) *read = 0;
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto object = sim::Lookup<sim::OpenFile>(file, "file");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (overlapped || !read) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (!sim::Reads(object->access) || !object->stream) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  if (!buffer && bytes) {
    SetLastError(ERROR_NOACCESS);
    return call.Ret<BOOL>(FALSE);
  }
  *read = static_cast<DWORD>(std::fread(buffer, 1, bytes, object->stream));
  call.SetResult("1, read " + std::to_string(*read));
  return TRUE;
}

DWORD GetFullPathNameW(LPCWSTR file, DWORD capacity, LPWSTR buffer, LPWSTR* filePart) {
  Call call("GetFullPathNameW", {file ? sim::Utf8(file) : "null", std::to_string(capacity)});
  if (filePart) *filePart = nullptr;
  if (call.Faulted()) return call.Ret<DWORD>(0);
  if (!file || !*file) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<DWORD>(0);
  }
  std::u16string given(file);
  std::u16string full = sim::FullPath(given);
  // A trailing separator stays: the path names a folder.
  char16_t last = given.back();
  if ((last == u'\\' || last == u'/') && full.back() != u'\\') full += u'\\';
  if (full.size() + 1 > capacity) return call.Ret(static_cast<DWORD>(full.size() + 1));
  std::copy(full.begin(), full.end(), buffer);
  buffer[full.size()] = 0;
  if (filePart && full.back() != u'\\') *filePart = buffer + full.rfind(u'\\') + 1;
  return call.Ret(static_cast<DWORD>(full.size()));
}

DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR buffer, DWORD capacity, DWORD flags) {
  Call call("GetFinalPathNameByHandleW", {sim::Ptr(file), std::to_string(capacity)});
  if (call.Faulted()) return call.Ret<DWORD>(0);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto object = sim::Lookup<sim::OpenFile>(file, "file");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<DWORD>(0);
  }
  if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {  // the only form modelled
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<DWORD>(0);
  }
  std::u16string final = sim::FinalPath(object->path, object->linkItself);
  if (final.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret<DWORD>(0);
  }
  final = u"\\\\?\\" + final;
  if (final.size() + 1 > capacity) return call.Ret(static_cast<DWORD>(final.size() + 1));
  std::copy(final.begin(), final.end(), buffer);
  buffer[final.size()] = 0;
  call.SetResult(sim::Utf8(final));
  return static_cast<DWORD>(final.size());
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID info,
                                DWORD bytes) {
  Call call("SetFileInformationByHandle", {sim::Ptr(file), std::to_string(infoClass)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto object = sim::Lookup<sim::OpenFile>(file, "file");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (infoClass != FileDispositionInfo || !info || bytes < sizeof(FILE_DISPOSITION_INFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (!(object->access & (DELETE | GENERIC_ALL)) || sim::IsReadOnly(object->path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  object->deleteOnClose = static_cast<FILE_DISPOSITION_INFO*>(info)->DeleteFile
                              ? sim::HostPathToDelete(object->path, object->linkItself)
                              : std::string();
  return call.Ret<BOOL>(TRUE);
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
  Call call("GetFileInformationByHandle", {sim::Ptr(file)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto object = sim::Lookup<sim::OpenFile>(file, "file");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (!sim::ReadsAttributes(object->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  if (!information) {
    SetLastError(ERROR_NOACCESS);
    return call.Ret<BOOL>(FALSE);
  }
  *information = BY_HANDLE_FILE_INFORMATION{};
  DWORD attributes = sim::IsReadOnly(object->path) ? FILE_ATTRIBUTE_READONLY
                                                   : FILE_ATTRIBUTE_ARCHIVE;
  // The handle's own entry: the link when it was opened as itself, a marked file as it is.
  if (object->linkItself || (!sim::IsLink(object->path) && sim::IsReparsePoint(object->path)))
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  information->dwFileAttributes = attributes;
  information->nNumberOfLinks = sim::LinkCount(object->path, object->linkItself);
  if (object->stream) {
    std::fflush(object->stream);
    long position = std::ftell(object->stream);
    std::fseek(object->stream, 0, SEEK_END);
    information->nFileSizeLow = static_cast<DWORD>(std::ftell(object->stream));
    std::fseek(object->stream, position, SEEK_SET);
  }
  call.SetResult("1, attributes " + sim::Hex(attributes) + ", links " +
                 std::to_string(information->nNumberOfLinks));
  return TRUE;
}

DWORD GetTempPathW(DWORD capacity, LPWSTR buffer) {
  Call call("GetTempPathW", {std::to_string(capacity)});
  if (call.Faulted()) return call.Ret<DWORD>(0);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::u16string path = sim::model().tempPath;
  if (path.empty() || (path.back() != u'\\' && path.back() != u'/')) path += u'\\';
  // Too small: the size needed, terminator included, and the buffer untouched.
  if (!buffer || capacity < path.size() + 1) return call.Ret<DWORD>(path.size() + 1);
  std::copy(path.begin(), path.end(), buffer);
  buffer[path.size()] = 0;
  return call.Ret<DWORD>(path.size());
}

// <folder>\<first three characters of the prefix><hexadecimal number>.tmp. With a unique number
// of 0 the number comes from a counter (Windows starts from the clock), names that exist are
// skipped and the empty file is created; otherwise only the name is made, unchecked.
UINT GetTempFileNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR tempFile) {
  Call call("GetTempFileNameW", {sim::Utf8(folder), sim::Utf8(prefix), std::to_string(unique)});
  if (call.Faulted()) return call.Ret<DWORD>(0);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!folder || !tempFile) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<DWORD>(0);
  }
  std::u16string base = folder;
  if (base.size() > MAX_PATH - 14) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return call.Ret<DWORD>(0);
  }
  if (!base.empty() && base.back() != u'\\' && base.back() != u'/') base += u'\\';
  for (int i = 0; prefix && prefix[i] && i < 3; ++i) base += prefix[i];

  auto give = [&](UINT number) {
    std::u16string name = base + sim::UpperHex(number) + u".tmp";
    std::copy(name.begin(), name.end(), tempFile);
    tempFile[name.size()] = 0;
    return name;
  };
  if (unique != 0) {
    give(unique & 0xFFFF);
    return call.Ret<DWORD>(unique);
  }
  std::u16string where = *folder ? std::u16string(folder) : sim::CurrentDir();
  if (!sim::DirExists(where)) {
    SetLastError(ERROR_DIRECTORY);
    return call.Ret<DWORD>(0);
  }
  auto& m = sim::model();
  for (UINT tries = 0; tries < 0xFFFF; ++tries) {
    UINT number = m.nextTempNumber;
    m.nextTempNumber = number == 0xFFFF ? 1 : number + 1;
    std::u16string name = base + sim::UpperHex(number) + u".tmp";
    if (sim::FileExists(name) || sim::DirExists(name)) continue;
    if (!sim::MakeEmptyFile(name)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret<DWORD>(0);
    }
    give(number);
    call.SetResult(std::to_string(number) + ", " + sim::Utf8(name));
    return number;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return call.Ret<DWORD>(0);
}

// Simulated files: Windows paths translated into a per-process sandbox on the host, with the
// error codes Windows gives for missing files and folders, locked and read-only files; the
// runtime's fopen on such paths (text mode unless "b" is asked for) and its date and time from
// the machine's clock.
#include "platform/sim/files.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include <sys/stat.h>

#include "platform/sim/code_pages.h"
#include "platform/sim/process.h"
#include "platform/sim/sim.h"

// The runtime's fopen is ours here; the host's is the one underneath.
#undef fopen

namespace fs = std::filesystem;

namespace sim {
namespace {

struct FileModel {
  fs::path root;
  std::u16string currentDir = u"C:\\Installer";
  std::map<std::u16string, int> locks;  // upper full path -> deletions still refused (-1: all)
  std::set<std::u16string> readOnly;    // upper full paths
  std::set<std::u16string> marked;      // upper full paths of files marked as reparse points
  struct Holder {
    DWORD access, share;
  };
  std::multimap<std::u16string, Holder> holders;  // upper full path -> open handles on it
};

// Removes the sandbox when the process ends.
struct Sandbox {
  fs::path base;
  Sandbox() { base = fs::temp_directory_path() / ("zqsim-" + std::to_string(getpid())); }
  ~Sandbox() {
    std::error_code ignored;
    fs::remove_all(base, ignored);
  }
};

Sandbox& sandbox() {
  static Sandbox instance;
  return instance;
}

void MakeFresh(FileModel& m);

FileModel& model() {
  static FileModel* instance = [] {
    auto* m = new FileModel;
    MakeFresh(*m);
    return m;
  }();
  return *instance;
}

const bool registered = (RegisterResetHook("files", [] { MakeFresh(model()); }), true);

std::vector<std::u16string> Components(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\' || c == u'/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool HasDrive(const std::u16string& p) {
  return p.size() >= 2 && p[1] == u':' &&
         ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
}

std::u16string Full(const FileModel& m, const std::u16string& path) {
  std::u16string drive, rest;
  if (HasDrive(path)) {
    drive = Upper(path.substr(0, 2));
    rest = path.substr(2);
    if (rest.empty() || (rest[0] != u'\\' && rest[0] != u'/'))  // "C:file": relative to drive
      rest = (EqualNoCase(m.currentDir.substr(0, 2), drive) ? m.currentDir.substr(2) : u"") +
             u"\\" + rest;
  } else if (!path.empty() && (path[0] == u'\\' || path[0] == u'/')) {
    drive = Upper(m.currentDir.substr(0, 2));
    rest = path;
  } else {
    drive = Upper(m.currentDir.substr(0, 2));
    rest = m.currentDir.substr(2) + u"\\" + path;
  }
  std::vector<std::u16string> parts;
  for (auto& c : Components(rest)) {
    if (c == u".") continue;
    if (c == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(c);
  }
  std::u16string out = drive;
  for (auto& c : parts) out += u"\\" + c;
  if (parts.empty()) out += u"\\";
  return out;
}

// Host path: each component matched against the existing entries without regard to case.
fs::path Host(const FileModel& m, const std::u16string& path) {
  std::u16string full = Full(m, path);
  fs::path host = m.root / Utf8(std::u16string(1, static_cast<char16_t>(full[0] | 0x20)));
  for (auto& c : Components(full.substr(2))) {
    std::string name = Utf8(c);
    std::error_code ec;
    fs::path match = host / name;
    if (!fs::exists(match, ec) && fs::is_directory(host, ec)) {
      for (auto& entry : fs::directory_iterator(host, ec)) {
        if (EqualNoCase(Utf16(entry.path().filename().string()), c)) {
          match = entry.path();
          break;
        }
      }
    }
    host = match;
  }
  return host;
}

void MakeDirs(const FileModel& m, const std::u16string& path) {
  std::u16string full = Full(m, path);
  std::u16string partial = full.substr(0, 2);
  std::error_code ec;
  fs::create_directories(Host(m, partial + u"\\"), ec);
  for (auto& c : Components(full.substr(2))) {
    partial += u"\\" + c;
    fs::create_directory(Host(m, partial), ec);
  }
}

void MakeFresh(FileModel& m) {
  std::error_code ec;
  m.root = sandbox().base / "machine";
  fs::remove_all(m.root, ec);
  fs::create_directories(m.root / "c", ec);
  m.currentDir = u"C:\\Installer";
  m.holders.clear();
  m.locks.clear();
  m.readOnly.clear();
  m.marked.clear();
  for (const char16_t* dir :
       {u"C:\\Windows\\System32\\spool\\drivers\\x64",
        u"C:\\Windows\\System32\\spool\\drivers\\w32x86", u"C:\\Installer", DefaultTempPath})
    MakeDirs(m, dir);
}

std::u16string Parent(const std::u16string& full) {
  size_t slash = full.rfind(u'\\');
  return slash <= 2 ? full.substr(0, 3) : full.substr(0, slash);
}

// The error Windows gives for a path whose entry is missing: 3 when a folder on the way is
// missing, 2 when only the entry itself is.
DWORD MissingError(const FileModel& m, const std::u16string& full) {
  std::error_code ec;
  return fs::is_directory(Host(m, Parent(full)), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool Locked(const FileModel& m, const std::u16string& full) {
  auto it = m.locks.find(Upper(full));
  return it != m.locks.end() && it->second != 0;
}

}  // namespace

namespace {

bool Reads(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL)) != 0; }
bool Writes(DWORD access) {
  return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}
bool Deletes(DWORD access) { return (access & (DeleteAccess | GENERIC_ALL)) != 0; }

bool Allows(const FileModel& m, const std::u16string& full, DWORD access, DWORD share) {
  auto range = m.holders.equal_range(Upper(full));
  for (auto it = range.first; it != range.second; ++it) {
    const auto& held = it->second;
    if ((Reads(access) && !(held.share & FILE_SHARE_READ)) ||
        (Writes(access) && !(held.share & FILE_SHARE_WRITE)) ||
        (Deletes(access) && !(held.share & FILE_SHARE_DELETE)) ||
        (Reads(held.access) && !(share & FILE_SHARE_READ)) ||
        (Writes(held.access) && !(share & FILE_SHARE_WRITE)) ||
        (Deletes(held.access) && !(share & FILE_SHARE_DELETE)))
      return false;
  }
  return true;
}

}  // namespace

void HoldFile(const std::u16string& windowsPath, DWORD access, DWORD share) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  m.holders.insert({Upper(Full(m, windowsPath)), {access, share}});
}

void ReleaseFile(const std::u16string& windowsPath, DWORD access, DWORD share) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  auto range = m.holders.equal_range(Upper(Full(m, windowsPath)));
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second.access == access && it->second.share == share) {
      m.holders.erase(it);
      return;
    }
  }
}

bool SharingAllows(const std::u16string& windowsPath, DWORD access, DWORD share) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  return Allows(m, Full(m, windowsPath), access, share);
}

std::string HostPath(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return Host(model(), windowsPath).string();
}

std::u16string FullPath(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return Full(model(), windowsPath);
}

void SetCurrentDir(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::u16string full = Full(model(), windowsPath);
  MakeDirs(model(), full);
  model().currentDir = full;
}

std::u16string CurrentDir() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return model().currentDir;
}

void MakeDir(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  MakeDirs(model(), windowsPath);
}

void PutFile(const std::u16string& windowsPath, const std::string& contents) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::u16string full = Full(model(), windowsPath);
  MakeDirs(model(), Parent(full));
  std::ofstream out(Host(model(), full), std::ios::binary | std::ios::trunc);
  out << contents;
}

std::string FileContents(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::ifstream in(Host(model(), windowsPath), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return in ? s.str() : std::string();
}

bool FileExists(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::error_code ec;
  return fs::is_regular_file(Host(model(), windowsPath), ec);
}

bool RemoveFile(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  FileModel& m = model();
  std::u16string key = Upper(Full(m, windowsPath));
  auto held = m.locks.find(key);
  if ((held != m.locks.end() && held->second != 0) || m.readOnly.count(key)) return false;
  std::error_code ec;
  fs::path host = Host(m, windowsPath);
  return fs::is_regular_file(host, ec) && fs::remove(host, ec);
}

bool DirExists(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::error_code ec;
  return fs::is_directory(Host(model(), windowsPath), ec);
}

void LockFile(const std::u16string& windowsPath, int attempts) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().locks[Upper(Full(model(), windowsPath))] = attempts;
}

void SetReadOnly(const std::u16string& windowsPath, bool readOnly) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::u16string key = Upper(Full(model(), windowsPath));
  if (readOnly)
    model().readOnly.insert(key);
  else
    model().readOnly.erase(key);
}

bool LockRefusesDeletion(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  auto found = m.locks.find(Upper(Full(m, windowsPath)));
  if (found == m.locks.end() || found->second == 0) return false;
  if (found->second > 0) --found->second;
  return true;
}

bool IsLocked(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return Locked(model(), Full(model(), windowsPath));
}

void MakeSymbolicLink(const std::u16string& link, const std::u16string& target) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  std::u16string full = Full(m, link);
  MakeDirs(m, Parent(full));
  std::error_code ec;
  fs::create_symlink(Host(m, target), Host(m, full), ec);
}

void MakeJunction(const std::u16string& link, const std::u16string& targetFolder) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  std::u16string full = Full(m, link);
  MakeDirs(m, Parent(full));
  MakeDirs(m, targetFolder);
  std::error_code ec;
  fs::create_directory_symlink(Host(m, targetFolder), Host(m, full), ec);
}

void MarkReparsePoint(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().marked.insert(Upper(Full(model(), windowsPath)));
}

void MakeHardLink(const std::u16string& link, const std::u16string& existing) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  std::u16string full = Full(m, link);
  MakeDirs(m, Parent(full));
  std::error_code ec;
  fs::create_hard_link(Host(m, existing), Host(m, full), ec);
}

bool IsLink(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::error_code ec;
  return fs::is_symlink(Host(model(), windowsPath), ec);
}

bool IsReparsePoint(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return IsLink(windowsPath) || model().marked.count(Upper(Full(model(), windowsPath))) != 0;
}

DWORD LinkCount(const std::u16string& windowsPath, bool ofTheLinkItself) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::string host = Host(model(), windowsPath).string();
  struct stat info {};
  int status = ofTheLinkItself ? lstat(host.c_str(), &info) : stat(host.c_str(), &info);
  return status == 0 ? static_cast<DWORD>(info.st_nlink) : 0;
}

std::u16string FinalPath(const std::u16string& windowsPath, bool ofTheLinkItself) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& m = model();
  fs::path host = Host(m, windowsPath);
  std::error_code ec;
  fs::path resolved = ofTheLinkItself ? fs::canonical(host.parent_path(), ec) / host.filename()
                                      : fs::canonical(host, ec);
  if (ec) return u"";
  fs::path relative = resolved.lexically_relative(fs::canonical(m.root, ec));
  if (ec || relative.empty() || *relative.begin() == "..") return u"";
  std::u16string out;
  for (auto& part : relative)
    out += out.empty() ? Upper(Utf16(part.string())) + u":" : u"\\" + Utf16(part.string());
  if (out.size() == 2) out += u"\\";
  return out;
}

std::string HostPathToDelete(const std::u16string& windowsPath, bool ofTheLinkItself) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  fs::path host = Host(model(), windowsPath);
  std::error_code ec;
  fs::path resolved = ofTheLinkItself ? host : fs::canonical(host, ec);
  return ec ? std::string() : resolved.string();
}

bool IsReadOnly(const std::u16string& windowsPath) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return model().readOnly.count(Upper(Full(model(), windowsPath))) != 0;
}

}  // namespace sim

using sim::Call;
using sim::Lock;

BOOL DeleteFileW(LPCWSTR file) {
  Call call("DeleteFileW", {sim::Utf8(file)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!file || !*file) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret<BOOL>(FALSE);
  }
  auto& m = sim::model();
  std::u16string full = sim::Full(m, file);
  fs::path host = sim::Host(m, full);
  std::error_code ec;
  if (!fs::exists(host, ec)) {
    SetLastError(sim::MissingError(m, full));
    return call.Ret<BOOL>(FALSE);
  }
  if (fs::is_directory(host, ec) || m.readOnly.count(sim::Upper(full))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  auto lockIt = m.locks.find(sim::Upper(full));
  if (lockIt != m.locks.end() && lockIt->second != 0) {
    if (lockIt->second > 0) --lockIt->second;
    SetLastError(ERROR_SHARING_VIOLATION);
    return call.Ret<BOOL>(FALSE);
  }
  // Open handles without delete sharing keep the file.
  if (!sim::Allows(m, full, sim::DeleteAccess,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return call.Ret<BOOL>(FALSE);
  }
  if (!fs::remove(host, ec)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  m.locks.erase(sim::Upper(full));
  return call.Ret<BOOL>(TRUE);
}

namespace sim {
namespace {

// A copy cut off midway by the end of its process: the target holds the first half of the
// source's bytes (created, or overwritten from its start), where the copy could have begun.
void CopyHalfway(LPCWSTR existingFile, LPCWSTR newFile, BOOL failIfExists) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!existingFile || !newFile || !*existingFile || !*newFile) return;
  auto& m = model();
  std::u16string from = Full(m, existingFile), to = Full(m, newFile);
  fs::path source = Host(m, from), target = Host(m, to);
  std::error_code ec;
  if (!fs::is_regular_file(source, ec) || !fs::is_directory(Host(m, Parent(to)), ec)) return;
  if (fs::exists(target, ec) && (failIfExists || !fs::is_regular_file(target, ec) ||
                                 m.readOnly.count(Upper(to)) || Locked(m, to) ||
                                 !Allows(m, to, GENERIC_WRITE, 0)))
    return;
  std::ifstream in(source, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
}

}  // namespace
}  // namespace sim

BOOL CopyFileW(LPCWSTR existingFile, LPCWSTR newFile, BOOL failIfExists) {
  Call call("CopyFileW",
            {sim::Utf8(existingFile), sim::Utf8(newFile), std::to_string(failIfExists)});
  if (call.KilledMidway()) {
    sim::CopyHalfway(existingFile, newFile, failIfExists);
    sim::internal::StopDeadThread();
  }
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!existingFile || !newFile || !*existingFile || !*newFile) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret<BOOL>(FALSE);
  }
  auto& m = sim::model();
  std::u16string from = sim::Full(m, existingFile), to = sim::Full(m, newFile);
  fs::path source = sim::Host(m, from), target = sim::Host(m, to);
  std::error_code ec;
  if (!fs::exists(source, ec)) {
    SetLastError(sim::MissingError(m, from));
    return call.Ret<BOOL>(FALSE);
  }
  if (fs::is_directory(source, ec)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  // The source is read with read sharing, the target written without sharing.
  if (!sim::Allows(m, from, GENERIC_READ, FILE_SHARE_READ)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return call.Ret<BOOL>(FALSE);
  }
  if (!fs::is_directory(sim::Host(m, sim::Parent(to)), ec)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret<BOOL>(FALSE);
  }
  if (fs::exists(target, ec)) {
    if (failIfExists) {
      SetLastError(ERROR_FILE_EXISTS);
      return call.Ret<BOOL>(FALSE);
    }
    if (fs::is_directory(target, ec) || m.readOnly.count(sim::Upper(to))) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret<BOOL>(FALSE);
    }
    if (sim::Locked(m, to) || !sim::Allows(m, to, GENERIC_WRITE, 0)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return call.Ret<BOOL>(FALSE);
    }
  }
  if (!fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  return call.Ret<BOOL>(TRUE);
}

DWORD GetFileAttributesW(LPCWSTR file) {
  Call call("GetFileAttributesW", {sim::Utf8(file)});
  if (call.Faulted()) return call.Ret<DWORD>(INVALID_FILE_ATTRIBUTES);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!file || !*file) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret<DWORD>(INVALID_FILE_ATTRIBUTES);
  }
  auto& m = sim::model();
  std::u16string full = sim::Full(m, file);
  fs::path host = sim::Host(m, full);
  std::error_code ec;
  // A link is reported as itself, not as what it names.
  if (fs::is_symlink(host, ec)) {
    return call.Ret<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT |
                           (fs::is_directory(host, ec) ? FILE_ATTRIBUTE_DIRECTORY
                                                       : FILE_ATTRIBUTE_ARCHIVE));
  }
  if (!fs::exists(host, ec)) {
    SetLastError(sim::MissingError(m, full));
    return call.Ret<DWORD>(INVALID_FILE_ATTRIBUTES);
  }
  if (fs::is_directory(host, ec)) return call.Ret<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  if (m.marked.count(sim::Upper(full)))
    return call.Ret<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE);
  if (m.readOnly.count(sim::Upper(full))) return call.Ret<DWORD>(FILE_ATTRIBUTE_READONLY);
  return call.Ret<DWORD>(FILE_ATTRIBUTE_NORMAL);
}

namespace sim {
namespace {

// A stream opened in the runtime's text mode (the default, or "t"): every "\n" written reaches
// the file as "\r\n", and a "\r\n" read comes back as "\n". The bytes themselves go through the
// host's stream underneath, opened in the same mode otherwise.
struct TextStream {
  FILE* raw = nullptr;
  bool pendingCr = false;  // a '\r' read at the end of the last chunk, not yet given out
};

ssize_t TextWrite(void* cookie, const char* data, size_t size) {
  auto* stream = static_cast<TextStream*>(cookie);
  std::string bytes;
  bytes.reserve(size + size / 8);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') bytes += '\r';
    bytes += data[i];
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream->raw) != bytes.size()) return -1;
  return static_cast<ssize_t>(size);
}

ssize_t TextRead(void* cookie, char* data, size_t size) {
  auto* stream = static_cast<TextStream*>(cookie);
  size_t given = 0;
  while (given == 0 && size > 0) {
    char chunk[512];
    size_t got = std::fread(chunk, 1, std::min(sizeof chunk, size), stream->raw);
    if (got == 0) {  // end of file: a lone '\r' kept back is still text
      if (stream->pendingCr) {
        stream->pendingCr = false;
        data[given++] = '\r';
      }
      break;
    }
    size_t used = 0;
    for (; used < got && given < size; ++used) {
      char c = chunk[used];
      if (stream->pendingCr) {
        stream->pendingCr = false;
        if (c != '\n') {
          data[given++] = '\r';
          if (given == size) break;  // this byte is read again next time
        }
      }
      if (c == '\r')
        stream->pendingCr = true;
      else
        data[given++] = c;
    }
    if (used < got) std::fseek(stream->raw, -static_cast<long>(got - used), SEEK_CUR);
  }
  return static_cast<ssize_t>(given);
}

int TextSeek(void* cookie, off64_t* offset, int whence) {
  auto* stream = static_cast<TextStream*>(cookie);
  stream->pendingCr = false;
  if (fseeko64(stream->raw, *offset, whence) != 0) return -1;
  *offset = ftello64(stream->raw);
  return 0;
}

int TextClose(void* cookie) {
  auto* stream = static_cast<TextStream*>(cookie);
  int result = std::fclose(stream->raw);
  delete stream;
  return result;
}

}  // namespace
}  // namespace sim

// The path is ANSI, which on the simulated machine is UTF-8. As on the Microsoft runtime the
// stream is in text mode unless the mode has "b"; the host's stdio does the rest, so fprintf and
// fclose work on the stream as usual.
FILE* SimFopen(const char* path, const char* mode) {
  Call call("fopen", {path ? path : "(null)", mode ? mode : "(null)"});
  if (call.Faulted()) return call.Ret<FILE*>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!path || !*path || !mode) return call.Ret<FILE*>(nullptr);
  auto& m = sim::model();
  // The runtime takes the path in the ANSI code page.
  std::u16string full = sim::Full(m, sim::AnsiToWide(path));
  bool writing = std::strpbrk(mode, "wa+") != nullptr;
  if (writing && (m.readOnly.count(sim::Upper(full)) || sim::Locked(m, full)))
    return call.Ret<FILE*>(nullptr);
  std::string hostMode;
  for (const char* c = mode; *c; ++c)
    if (*c != 't' && *c != 'b') hostMode += *c;
  bool binary = std::strchr(mode, 'b') != nullptr;
  FILE* raw = std::fopen(sim::Host(m, full).string().c_str(), (hostMode + "b").c_str());
  if (!raw || binary) return call.Ret(raw);
  auto* stream = new sim::TextStream;
  stream->raw = raw;
  cookie_io_functions_t functions = {sim::TextRead, sim::TextWrite, sim::TextSeek, sim::TextClose};
  FILE* file = fopencookie(stream, hostMode.c_str(), functions);
  if (!file) {
    std::fclose(raw);
    delete stream;
  }
  return call.Ret(file);
}

char* _strdate(char* buffer) {
  sim::DateTime now = sim::CurrentDateTime();
  std::snprintf(buffer, 9, "%02u/%02u/%02u", static_cast<unsigned>(now.month) % 100u,
                static_cast<unsigned>(now.day) % 100u, static_cast<unsigned>(now.year) % 100u);
  return buffer;
}

char* _strtime(char* buffer) {
  sim::DateTime now = sim::CurrentDateTime();
  std::snprintf(buffer, 9, "%02u:%02u:%02u", static_cast<unsigned>(now.hour) % 100u,
                static_cast<unsigned>(now.minute) % 100u, static_cast<unsigned>(now.second) % 100u);
  return buffer;
}

// Driver file installation: the three files of one processor copied from the driver folder into
// the spooler's driver folder of that processor's environment, verified there against the
// program's driver manifest when it carries one, then registered as DriverName.
#include "installation/steps.h"

#include "installation/driver_manifest.h"
#include "installation/driver_paths.h"
#include "installation/folder_writers.h"
#include "installation/machine_checks.h"
#include "support/settings_log.h"

#include "spooler/queries.h"
#include "support/elevation.h"
#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/strings.h"

namespace {

// Both folder texts are held in path buffers of this many characters, terminator included.
constexpr size_t PathCapacity = MAX_PATH;
// The spooler may need a moment after a removal before it takes new files.
constexpr DWORD PauseBeforeCopyMs = 500;

// `first` + `second` into a path buffer, or false when the whole text would not fit: nothing is
// ever cut or written past the buffer.
bool ComposeFolder(WCHAR (&buffer)[PathCapacity], LPCWSTR first, LPCWSTR second) {
  size_t length = static_cast<size_t>(lstrlenW(first)) + static_cast<size_t>(lstrlenW(second));
  if (length >= PathCapacity) return false;
  BoundedCopy(buffer, PathCapacity, first);
  BoundedCopy(buffer + lstrlenW(buffer), PathCapacity - static_cast<size_t>(lstrlenW(buffer)),
              second);
  return true;
}

// The text up to and including its last backslash; empty when it has none.
void CutAfterLastBackslash(LPWSTR text) {
  LPWSTR end = text;
  for (LPWSTR c = text; *c; ++c)
    if (*c == TEXT('\\')) end = c + 1;
  *end = 0;
}

// The folder `processor`'s files come from and the one they go to, each in a path buffer; false
// after recording why.
bool DriverFolders(LPCWSTR driverFolder, TargetProcessor processor, WCHAR (&source)[PathCapacity],
                   WCHAR (&destination)[PathCapacity]) {
  // The processor alone chooses the folders, whatever environment the spooler's own directory is.
  const ProcessorRow& folders = RowOf(processor);
  if (!ComposeFolder(source, driverFolder, folders.sourceSubFolder)) {
    // No call failed: the code is the one of a path too long for its buffer, not a stale one.
    ReportErrorCode(ERROR_FILENAME_EXCED_RANGE, TEXT("パス '%ws' が長すぎます!"), driverFolder);
    return false;
  }

  {
    LocalBlock<WCHAR> driverDirectory(GetDriverDirectory(folders.environment));
    if (!driverDirectory) {
      ReportError(TEXT("ドライバの存在するフォルダが見つかりません!"));
      return false;
    }
    // Cut in the heap string itself, so that a long directory whose parent fits is judged by
    // the part that is used; the folder text shown is that part.
    CutAfterLastBackslash(driverDirectory.Get());
    if (!ComposeFolder(destination, driverDirectory.Get(), folders.driverSubFolder)) {
      ReportErrorCode(ERROR_FILENAME_EXCED_RANGE, TEXT("パス '%ws' が長すぎます!"),
                      driverDirectory.Get());
      return false;
    }
  }

  return true;
}

// The paths of file `i` of DriverFileSet in `source` and `destination`; false after recording why.
bool DriverFilePaths(LPCWSTR source, LPCWSTR destination, int i, LocalBlock<WCHAR>* sourcePath,
                     LocalBlock<WCHAR>* destinationPath) {
  sourcePath->Reset(JoinPath(source, DriverFileSet[i], nullptr));
  destinationPath->Reset(JoinPath(destination, DriverFileSet[i], nullptr));
  if (!*sourcePath || !*destinationPath) {
    ReportError(TEXT("メモリが不足しています!"));
    return false;
  }
  return true;
}

// The copies this run made, deleted again by the rule every deletion of driver files follows:
// only a file in its plain form that no other driver lists (DriverName's own registration for
// `environment`, which the add mode replaces, aside). One that stays is recorded.
void DeleteCopies(const LocalBlock<WCHAR> (&copies)[3], LPCWSTR folder, LPCWSTR environment) {
  LastErrorKeeper keep;
  DWORD count = 0;
  LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDrivers(&count, TEXT("all")));
  WCHAR scope[DriverPathCapacity];
  if (!NormalizePath(folder, scope, DriverPathCapacity)) return;
  for (const LocalBlock<WCHAR>& copy : copies) {
    WCHAR normal[DriverPathCapacity];
    if (!copy || !NormalizePath(copy.Get(), normal, DriverPathCapacity)) continue;
    if (!drivers || DriverListing(normal, drivers.Get(), count, DriverName, environment)) {
      DebugLog("InstallDriverFiles - the copy '%ws' is left: another driver may list it", normal);
      continue;
    }
    if (!DeleteFileWithin(normal, scope))
      DebugLog("InstallDriverFiles - the copy '%ws' stays", normal);
  }
}

// With a manifest, each copy where the spooler will load it (a folder only administrators can
// write) must be the file the release shipped: whatever was swapped in the driver folder, before
// or during the copy, is caught here. A copy that is not is refused with its source's path, and
// every copy goes again. Without a manifest the copies are taken as they are, with a record.
bool VerifyCopies(TargetProcessor processor, LPCWSTR folder,
                  const LocalBlock<WCHAR> (&sources)[3], const LocalBlock<WCHAR> (&copies)[3]) {
  if (!HasDriverManifest()) {
    DebugLog("InstallDriverFiles - this program carries no driver manifest: the driver files "
             "were not verified");
    return true;
  }
  DWORD started = GetTickCount();
  for (int i = 0; i < 3; ++i) {
    if (!VerifyDriverFile(processor, DriverFileSet[i], copies[i].Get())) {
      ReportError(TEXT("ドライバファイル '%ws' が改ざんされています!"), sources[i].Get());
      DeleteCopies(copies, folder, RowOf(processor).environment);
      return false;
    }
  }
  DebugLog("InstallDriverFiles - the copies in '%ws' are the files of the driver manifest "
           "(verified in %u ms)",
           RowOf(processor).driverSubFolder, static_cast<unsigned>(GetTickCount() - started));
  return true;
}

// An elevated run without a manifest copies whatever the driver folder holds to where the SYSTEM
// spooler loads it: a driver folder, or its processor's sub-folder, that non-administrators can
// write is named in a warning. It is not refused: any folder is accepted.
void WarnOfWritableSource(LPCWSTR driverFolder, LPCWSTR source) {
  if (HasDriverManifest() || !CountsAsElevated()) return;
  for (LPCWSTR folder : {driverFolder, source}) {
    LPCWSTR group = nullptr;
    if (!FindNonAdministratorWriter(folder, &group)) {
      DebugLogError(GetLastError(), "InstallDriverFiles - who may write '%ws' cannot be told",
                    folder);
    } else if (group) {
      WCHAR text[MessageTextCapacity];
      BoundedFormat(text, MessageTextCapacity,
                    TEXT("%ws may write '%ws': this elevated run copies the driver files from ")
                        TEXT("there for the spooler, which loads them as SYSTEM, and without a ")
                            TEXT("driver manifest nothing verifies them; a folder only ")
                                TEXT("administrators can write is safe"),
                    group, folder);
      DebugLogText("Warning", text);
      return;
    }
  }
}

constexpr const WCHAR* CopyFailedFormat =
    TEXT("ドライバ '%ws' を システムフォルダ '%ws' にインストールできません!");

}  // namespace

bool CheckDriverSources(LPCWSTR driverFolder, TargetProcessor processor) {
  WCHAR source[PathCapacity] = {};
  WCHAR destination[PathCapacity] = {};
  if (!DriverFolders(driverFolder, processor, source, destination)) return false;
  for (int i = 0; i < 3; ++i) {
    LocalBlock<WCHAR> sourcePath;
    LocalBlock<WCHAR> destinationPath;
    if (!DriverFilePaths(source, destination, i, &sourcePath, &destinationPath)) return false;
    KernelHandle file(CreateFileW(sourcePath.Get(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      // The text the copy would give for the same file.
      ReportError(CopyFailedFormat, sourcePath.Get(), destinationPath.Get());
      return false;
    }
  }
  return true;
}

bool InstallDriverFiles(LPCWSTR driverFolder, TargetProcessor processor, bool skipPrecheck) {
  if (!skipPrecheck) {
    DRIVER_INFO_3W* found = nullptr;
    DWORD position = 0;
    if (!FindDriver(&found, &position, DriverName, NativeEnvironment())) {
      ReportError(TEXT("ドライバが既にインストールされているか確認ができません!"));
      return false;
    }
    LocalBlock<DRIVER_INFO_3W> list(found);
    if (list) {
      ReportError(TEXT("ドライバが既にインストールされています!"));
      return false;
    }
  }

  WCHAR source[PathCapacity] = {};
  WCHAR destination[PathCapacity] = {};
  if (!DriverFolders(driverFolder, processor, source, destination)) return false;
  const ProcessorRow& folders = RowOf(processor);
  WarnOfWritableSource(driverFolder, source);

  Sleep(PauseBeforeCopyMs);

  LocalBlock<WCHAR> sourcePaths[3];
  LocalBlock<WCHAR> destinationPaths[3];
  for (int i = 0; i < 3; ++i) {
    if (!DriverFilePaths(source, destination, i, &sourcePaths[i], &destinationPaths[i]))
      return false;
    // An older copy in the driver folder is overwritten: the add mode relies on it.
    if (!CopyFileW(sourcePaths[i].Get(), destinationPaths[i].Get(), FALSE)) {
      ReportError(CopyFailedFormat, sourcePaths[i].Get(), destinationPaths[i].Get());
      return false;
    }
  }

  if (!VerifyCopies(processor, destination, sourcePaths, destinationPaths)) return false;

  WCHAR noDataType[] = TEXT("");  // an empty text, not none: the spooler's default data type
  DRIVER_INFO_3W driver = {};
  driver.cVersion = 4;
  driver.pName = const_cast<LPWSTR>(DriverName);
  driver.pEnvironment = const_cast<LPWSTR>(folders.environment);
  driver.pDriverPath = destinationPaths[0].Get();
  driver.pConfigFile = destinationPaths[1].Get();
  driver.pDataFile = destinationPaths[2].Get();
  driver.pDefaultDataType = noDataType;
  if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver))) {
    ReportError(TEXT("ドライバの追加ができません!"));
    return false;
  }
  return true;
}

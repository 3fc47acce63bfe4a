// Start-up checks and the command line: whether the installer may run on this platform, and the
// request `ZQInst.exe [switches] <mode> <driver folder> <printer name> <processor>` stands for.
// Every rejection has shown its error box (no owner, CommandCaption; a record in a quiet run) when
// these return false.
//
// Switches come before the mode keyword, with "/" or "-", in any letter case: "/quiet" (or "/q")
// shows no window, "/log <path>" appends this run's records to that file. The positions of the
// mode and its arguments count from the first argument that is not a switch.
#pragma once

#include "installation/request.h"
#include "platform/win32.h"

// The switches of the command line.
struct RunSwitches {
  bool quiet;       // "/quiet" or "/q"
  LPCWSTR logPath;  // "/log <path>": the path (pointing into the argument vector); none otherwise
  bool logPathMissing;  // "/log" with nothing (or an empty text) after it
  int modeIndex;        // the argument that stands in the mode's place
};
// Reads the switches at the start of an argument vector (argument 0 is the program; none when
// the vector is missing). No box.
RunSwitches ReadSwitches(int count, LPWSTR* arguments);
// The driver folder argument (the one after the mode), or none when it is absent or the mode is
// uninstall, which takes none. No box.
LPCWSTR DriverFolderArgument(int count, LPWSTR* arguments, const RunSwitches& switches);
// The driver folder as the whole run uses it: `folder` made absolute (GetFullPathNameW) against
// the current folder, once, into `buffer` of `capacity` characters. False, with the buffer empty,
// when it cannot be: an empty text, or an absolute form that would not fit.
bool MakeFolderAbsolute(LPCWSTR folder, LPWSTR buffer, DWORD capacity);
// The command line split into its arguments (CommandLineToArgvW), released by the caller with
// GlobalFree (an ArgumentVector, support/handles.h); none, and a count of 0, when it cannot be.
[[nodiscard]] LPWSTR* SplitCommandLine(LPCWSTR commandLine, int* count);
// The request the arguments stand for, the switches before the mode skipped; the strings point
// into the arguments. A missing vector counts as no arguments.
[[nodiscard]] bool ParseArguments(int count, LPWSTR* arguments, InstallerRequest* request);

// Rejects platforms whose major version is 4 or less.
[[nodiscard]] bool CheckPlatform();
// Splits the process command line into a request. On success the caller owns *argumentVector and
// releases it with GlobalFree (an ArgumentVector, support/handles.h); on failure it has been
// released and *argumentVector is nullptr.
[[nodiscard]] bool ParseCommandLine(InstallerRequest* request, LPWSTR** argumentVector);

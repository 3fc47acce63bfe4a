// Test harness for running ZQInst.exe under Wine: answers message boxes by rules, records every
// box it saw, dumps the spooler's state, reads registry values and links the printer key that the
// installer writes to the place where Wine keeps its printers.
//
//   zqharness answer <rules> <log> <stopfile> <seconds>
//       rules: lines "caption-substring|text-substring|button" (button: ok, yes, no, cancel);
//       an empty field matches anything. Boxes that match no rule get OK (or No for Yes/No boxes).
//       Every answered box is appended to <log> as "caption|text|button" (UTF-8, \n as "\n").
//       Ends when <stopfile> exists or after <seconds>.
//   zqharness answer <rules> <log> <stopfile> <seconds> <windows>
//       The same, and every visible top-level window of any process seen meanwhile is appended
//       once to <windows> as "class|title" (quiet runs must show none).
//   zqharness dump            spooler drivers, ports and printers, as UTF-8 lines
//   zqharness regget <HKLM|HKCU> <key> <value>
//   zqharness reglink         creates the printer-key link described above
//   zqharness adddriver <name> <environment> <driver> <config> <data> <dependent>
//       registers a driver (level 3) from files in the environment's driver folder, with one
//       dependent file; prints "adddriver: ok" or the error code
//   zqharness exitcode <program> [arguments...]
//       runs the program (arguments quoted where they hold a blank), waits for it and prints its
//       whole exit code as a signed number: a shell under Wine sees only the low 8 bits.
//   zqharness holdlock <seconds>
//       holds the installer's machine-wide lock that long (prints "held" once it has it).
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Escape(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') continue;
    else out += c;
  }
  return out;
}

struct Rule {
  std::wstring caption, text;
  int button;
};

int ButtonId(const std::string& name) {
  if (name == "yes") return IDYES;
  if (name == "no") return IDNO;
  if (name == "cancel") return IDCANCEL;
  return IDOK;
}

const char* ButtonName(int id) {
  switch (id) {
    case IDYES: return "yes";
    case IDNO: return "no";
    case IDCANCEL: return "cancel";
    default: return "ok";
  }
}

std::vector<Rule> ReadRules(const char* path) {
  std::vector<Rule> rules;
  FILE* file = fopen(path, "rb");
  if (!file) return rules;
  char line[2048];
  while (fgets(line, sizeof line, file)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t a = s.find('|'), b = a == std::string::npos ? a : s.find('|', a + 1);
    if (b == std::string::npos) continue;
    rules.push_back({Wide(s.substr(0, a)), Wide(s.substr(a + 1, b - a - 1)),
                     ButtonId(s.substr(b + 1))});
  }
  fclose(file);
  return rules;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096];
  int n = GetWindowTextW(window, buffer, 4096);
  return std::wstring(buffer, n > 0 ? n : 0);
}

struct BoxSearch {
  std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBoxes(HWND window, LPARAM parameter) {
  wchar_t cls[64];
  if (GetClassNameW(window, cls, 64) && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(window) &&
      GetDlgItem(window, 0xFFFF) &&  // a message box: its text is control 0xFFFF ...
      !FindWindowExW(window, nullptr, L"Edit", nullptr)) {  // ... and it asks for no input
    reinterpret_cast<BoxSearch*>(parameter)->boxes.push_back(window);
  }
  return TRUE;
}

struct WindowSearch {
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM parameter) {
  if (IsWindowVisible(window)) reinterpret_cast<WindowSearch*>(parameter)->windows.push_back(window);
  return TRUE;
}

// Appends the visible top-level windows not seen before to the log.
void LogNewWindows(const char* windowsPath, std::vector<HWND>* seen) {
  WindowSearch search;
  EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&search));
  for (HWND window : search.windows) {
    bool known = false;
    for (HWND h : *seen) known = known || h == window;
    if (known) continue;
    seen->push_back(window);
    wchar_t cls[128] = {};
    GetClassNameW(window, cls, 128);
    if (FILE* log = fopen(windowsPath, "ab")) {
      fprintf(log, "%s|%s\n", Escape(cls).c_str(), Escape(WindowText(window)).c_str());
      fclose(log);
    }
  }
}

int Answer(const char* rulesPath, const char* logPath, const char* stopPath, int seconds,
           const char* windowsPath) {
  std::vector<Rule> rules = ReadRules(rulesPath);
  // A pause before each answer leaves a box on the screen long enough to be photographed.
  char delayText[16] = {};
  DWORD delay = GetEnvironmentVariableA("ZQHARNESS_DELAY_MS", delayText, 16) ? atoi(delayText) : 0;
  std::vector<HWND> answered;
  std::vector<HWND> seenWindows;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000) {
    if (GetFileAttributesA(stopPath) != INVALID_FILE_ATTRIBUTES) break;
    if (windowsPath) LogNewWindows(windowsPath, &seenWindows);
    BoxSearch search;
    EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&search));
    // A box that became visible after the window log above is logged before it is answered and
    // gone.
    if (windowsPath && !search.boxes.empty()) LogNewWindows(windowsPath, &seenWindows);
    for (HWND box : search.boxes) {
      bool seen = false;
      for (HWND h : answered) seen = seen || h == box;
      if (seen) continue;
      std::wstring caption = WindowText(box);
      std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));
      int button = GetDlgItem(box, IDYES) ? IDNO : IDOK;
      for (const Rule& rule : rules) {
        if (caption.find(rule.caption) != std::wstring::npos &&
            text.find(rule.text) != std::wstring::npos) {
          button = rule.button;
          break;
        }
      }
      if (FILE* log = fopen(logPath, "ab")) {
        fprintf(log, "%s|%s|%s\n", Escape(caption).c_str(), Escape(text).c_str(),
                ButtonName(button));
        fclose(log);
      }
      if (delay) Sleep(delay);
      // High word 0: Wine's message box returns the whole wParam.
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, 0), 0);
      answered.push_back(box);
    }
    Sleep(windowsPath ? 10 : 50);
  }
  return 0;
}

// The spooler's drivers, ports and printers, one line each, then "end|listed". A listing that
// fails prints "unreadable|<what>|<error>" and the exit code is 1: the scripts' checks that
// something is absent need the end line, so an unreadable spooler never passes them.
int Dump() {
  DWORD needed = 0, count = 0;
  bool readable = true;
  auto unreadable = [&readable](const char* what) {
    printf("unreadable|%s|%lu\n", what, static_cast<unsigned long>(GetLastError()));
    readable = false;
  };
  // Both environments, whichever build of the harness lists them: an x86 installer registers its
  // driver under "Windows NT x86", which a program's default environment on x64 does not show.
  // An environment the spooler does not know (x64 on a 32-bit Windows) has no drivers.
  for (const wchar_t* environment : {L"Windows x64", L"Windows NT x86"}) {
    needed = count = 0;
    LPWSTR name = const_cast<LPWSTR>(environment);
    EnumPrinterDriversW(nullptr, name, 3, nullptr, 0, &needed, &count);
    std::vector<BYTE> drivers(needed + 1);
    if (!EnumPrinterDriversW(nullptr, name, 3, drivers.data(), needed, &needed, &count)) {
      if (GetLastError() != ERROR_INVALID_ENVIRONMENT) unreadable("drivers");
      continue;
    }
    auto* d = reinterpret_cast<DRIVER_INFO_3W*>(drivers.data());
    for (DWORD i = 0; i < count; ++i) {
      printf("driver|%s|%s|%s|%s|%s\n", Utf8(d[i].pName).c_str(),
             Utf8(d[i].pEnvironment ? d[i].pEnvironment : L"").c_str(),
             Utf8(d[i].pDriverPath ? d[i].pDriverPath : L"").c_str(),
             Utf8(d[i].pConfigFile ? d[i].pConfigFile : L"").c_str(),
             Utf8(d[i].pDataFile ? d[i].pDataFile : L"").c_str());
    }
  }
  needed = count = 0;
  EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> ports(needed + 1);
  if (EnumPortsW(nullptr, 1, ports.data(), needed, &needed, &count)) {
    auto* p = reinterpret_cast<PORT_INFO_1W*>(ports.data());
    for (DWORD i = 0; i < count; ++i) printf("port|%s\n", Utf8(p[i].pName).c_str());
  } else {
    unreadable("ports");
  }
  needed = count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> printers(needed + 1);
  if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, printers.data(), needed, &needed, &count)) {
    auto* p = reinterpret_cast<PRINTER_INFO_2W*>(printers.data());
    for (DWORD i = 0; i < count; ++i) {
      auto s = [](LPCWSTR t) { return Utf8(t ? t : L""); };
      printf("printer|%s|%s|%s|%s|%s|0x%lx|0x%04x\n", s(p[i].pPrinterName).c_str(),
             s(p[i].pPortName).c_str(), s(p[i].pDriverName).c_str(),
             s(p[i].pPrintProcessor).c_str(), s(p[i].pDatatype).c_str(),
             static_cast<unsigned long>(p[i].Attributes),
             p[i].pDevMode ? p[i].pDevMode->dmDriverVersion : 0);
    }
  } else {
    unreadable("printers");
  }
  if (!readable) return 1;
  printf("end|listed\n");
  return 0;
}

HKEY Root(const char* name) { return lstrcmpiA(name, "HKCU") == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

int RegGet(const char* root, const char* key, const char* value) {
  wchar_t data[2048] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t), type = 0;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(Root(root), Wide(key).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    printf("nokey\n");
    return 1;
  }
  LONG status = RegQueryValueExW(handle, Wide(value).c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) {
    printf("novalue\n");
    return 1;
  }
  if (type == REG_DWORD) printf("%lu\n", static_cast<unsigned long>(*reinterpret_cast<DWORD*>(data)));
  else printf("%s\n", Utf8(data).c_str());
  return 0;
}

int RegLink() {
  HKEY parent = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print", 0,
                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr);
  if (parent) RegCloseKey(parent);
  HKEY link = nullptr;
  DWORD disposition = 0;
  LONG status = RegCreateKeyExW(
      HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers", 0,
      nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link,
      &disposition);
  if (status != ERROR_SUCCESS) {
    printf("link: create failed %ld\n", static_cast<long>(status));
    return 1;
  }
  static const wchar_t target[] =
      L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Print\\Printers";
  status = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                          reinterpret_cast<const BYTE*>(target), sizeof(target) - sizeof(wchar_t));
  RegCloseKey(link);
  printf("link: %s\n", status == ERROR_SUCCESS ? "ok" : "failed");
  return status == ERROR_SUCCESS ? 0 : 1;
}

int AddDriver(char** argv) {
  std::wstring name = Wide(argv[2]), environment = Wide(argv[3]), driver = Wide(argv[4]),
               config = Wide(argv[5]), data = Wide(argv[6]);
  std::wstring dependent = Wide(argv[7]);
  dependent.push_back(L'\0');  // the list's closing empty text
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = &name[0];
  info.pEnvironment = &environment[0];
  info.pDriverPath = &driver[0];
  info.pConfigFile = &config[0];
  info.pDataFile = &data[0];
  info.pDependentFiles = &dependent[0];
  if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info))) {
    printf("adddriver: failed %lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  printf("adddriver: ok\n");
  return 0;
}

int ExitCode() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count < 3) return 2;
  std::wstring line;
  for (int i = 2; i < count; ++i) {
    std::wstring arg = args[i];
    if (i > 2) line += L' ';
    if (arg.empty() || arg.find_first_of(L" \t") != std::wstring::npos) {
      // Backslashes before the closing quote are doubled so that they stay backslashes.
      size_t tail = 0;
      while (tail < arg.size() && arg[arg.size() - 1 - tail] == L'\\') ++tail;
      line += L'"' + arg + std::wstring(tail, L'\\') + L'"';
    } else {
      line += arg;
    }
  }
  LocalFree(args);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> buffer(line.begin(), line.end());
  buffer.push_back(0);
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    fprintf(stderr, "exitcode: CreateProcessW failed %lu\n", GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  fflush(stdout);
  printf("exit code %ld\n", static_cast<long>(static_cast<LONG>(code)));
  return 0;
}

int HoldLock(int seconds) {
  HANDLE lock = CreateMutexW(nullptr, TRUE, L"Global\\ZqDriver2.Installer");
  if (!lock || GetLastError() == ERROR_ALREADY_EXISTS) {
    printf("not held\n");
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  Sleep(static_cast<DWORD>(seconds) * 1000);
  ReleaseMutex(lock);
  CloseHandle(lock);
  return 0;
}

// Deletes a printer as a person would in the printer settings: what `verify` must notice.
int DeletePrinterNamed(const char* name) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  std::wstring wide = Wide(name);
  if (!OpenPrinterW(&wide[0], &printer, &defaults)) return printf("delprinter: open failed %lu\n", GetLastError()), 1;
  BOOL deleted = DeletePrinter(printer);
  ClosePrinter(printer);
  printf("delprinter: %s\n", deleted ? "ok" : "failed");
  return deleted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 6 && lstrcmpA(argv[1], "answer") == 0)
    return Answer(argv[2], argv[3], argv[4], atoi(argv[5]), argc >= 7 ? argv[6] : nullptr);
  if (argc >= 2 && lstrcmpA(argv[1], "dump") == 0) return Dump();
  if (argc >= 5 && lstrcmpA(argv[1], "regget") == 0) return RegGet(argv[2], argv[3], argv[4]);
  if (argc >= 2 && lstrcmpA(argv[1], "reglink") == 0) return RegLink();
  if (argc >= 8 && lstrcmpA(argv[1], "adddriver") == 0) return AddDriver(argv);
  if (argc >= 3 && lstrcmpA(argv[1], "exitcode") == 0) return ExitCode();
  if (argc >= 3 && lstrcmpA(argv[1], "holdlock") == 0) return HoldLock(atoi(argv[2]));
  if (argc >= 3 && lstrcmpA(argv[1], "delprinter") == 0) return DeletePrinterNamed(argv[2]);
  fprintf(stderr, "usage: zqharness answer|dump|regget|reglink|adddriver|exitcode|holdlock|delprinter ...\n");
  return 2;
}

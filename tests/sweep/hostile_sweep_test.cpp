// The hostile-input sweep: whole runs of the installer fed input nobody should give it. Command
// lines generated from a fixed seed (odd quoting, very long arguments, lone surrogates, format
// directives, "..\" and UNC folders, printer names Windows refuses), then tables of hostile
// settings (LOGLEVEL, LOGFILE) and hostile spooler data. Each run starts on a fresh machine; the
// scripted person presses Enter on every box. A run is flagged for a hang, a leak, an exit code
// outside its table, a printer of a name Windows refuses, a cut or half-character text, a log
// record without CR LF or with invalid UTF-8, a failed run that changed the machine without a
// report, and a deletion outside the spooler's driver folders. All counts must be 0.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/code_pages.h"
#include "platform/sim/files.h"
#include "platform/sim/registry.h"
#include "platform/sim/threads.h"
#include "platform/sim/spooler.h"
#include "platform/sim/ui.h"
#include "platform/sim/user.h"
#include "support/messages.h"
#include "support/quiet_run.h"
#include "support/settings_log.h"
#include "tests/support/staging.h"
#include "tests/support/watchdog.h"
#include "tests/sweep/sweep.h"

namespace sweep {
namespace {

// Generated command lines a CI run goes through; the seed makes every run the same.
constexpr int kGeneratedRuns = 1000;
constexpr unsigned kSeed = 20261209;

constexpr char16_t kLogPath[] = u"C:\\Logs\\sweep.log";
constexpr char16_t kSettingsKey[] = u"SOFTWARE\\ZQPrinter2";

// ----- what a run may end with -----

const std::set<int> kInteractiveCodes = {0, -1};
// The quiet table (the Windows Installer's numbers), written out here as the deployment tools
// know them.
const std::set<int> kQuietCodes = {0, 1602, 1603, 1605, 1618, 1625, 1633, 1639};

// What a hostile run is given: its command line after the program's path, and its machine.
struct HostileRun {
  std::string name;
  std::u16string arguments;
  std::function<void()> stage;  // after the reset and the standard staging
};

// The counts the sweep reports; every flag but `runs` must stay 0.
struct Figures {
  std::map<int, int> exitCodeCounts;  // how the runs ended, for the report
  int runs = 0, hangs = 0, leaks = 0, exitCodes = 0, refusedNames = 0, cutTexts = 0,
      badRecords = 0, silentChanges = 0, foreignDeletions = 0;
  std::vector<std::string> findings;
  void Flag(int* count, const HostileRun& run, const std::string& what) {
    ++*count;
    if (findings.size() < 20) findings.push_back(run.name + ": " + what);
  }
  int Flags() const {
    return hangs + leaks + exitCodes + refusedNames + cutTexts + badRecords + silentChanges +
           foreignDeletions;
  }
};

// ----- the checks -----

std::u16string Lower(std::u16string text) {
  for (auto& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}

bool HighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A name Windows takes for a printer: not empty, at most 220 characters, no ',' and no '\'.
bool NameWindowsTakes(const std::u16string& name) {
  return !name.empty() && name.size() <= 220 && name.find_first_of(u",\\") == std::u16string::npos;
}

// A text that was cut: one ending in the first half of a pair, a shortening mark beside half a
// pair, or a failure report that lost its end.
std::string CutText(const std::u16string& text) {
  if (!text.empty() && HighSurrogate(text.back())) return "ends in half a surrogate pair";
  for (size_t i = text.find(u'…'); i != std::u16string::npos; i = text.find(u'…', i + 1)) {
    if (i > 0 && HighSurrogate(text[i - 1])) return "half a pair before the mark";
    if (i + 1 < text.size() && LowSurrogate(text[i + 1])) return "half a pair after the mark";
  }
  if (text.size() > 1023) return "longer than the box's text";
  if (text.find(u"インストールの中断します.") != std::u16string::npos &&
      (text.find(u"Error code: ") == std::u16string::npos ||
       text.find(u"詳細エラー: ") == std::u16string::npos))
    return "a failure report without its code or system text";
  return "";
}

bool ValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// The log file's records: each line a record's start ("MM/DD/YY HH:MM:SS - ZQPrinter2 [") or the
// system text of an error record, every one ended by CR LF; UTF-8 throughout (the machine's ANSI
// code page is UTF-8 as well).
std::string BadLog(const std::string& file) {
  std::string text = file.rfind("\xEF\xBB\xBF", 0) == 0 ? file.substr(3) : file;
  if (text.empty()) return "";
  if (!ValidUtf8(text)) return "invalid UTF-8";
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return "no CR LF at the end";
  size_t start = 0;
  bool afterErrorLine = false;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    std::string line = text.substr(start, end - start);
    if (line.find('\r') != std::string::npos || line.find('\n') != std::string::npos)
      return "a lone CR or LF: " + line.substr(0, 80);
    bool record = line.size() > 20 && line.compare(17, 15, " - ZQPrinter2 [") == 0;
    bool systemText = afterErrorLine || line.rfind("Last error was: ", 0) == 0;
    if (!record && !systemText && !line.empty()) return "a line that starts no record: " + line.substr(0, 80);
    afterErrorLine = line.rfind("Last error was: ", 0) == 0;
    start = end + 2;
  }
  return "";
}

// Runs one hostile run on a fresh machine and counts what it does wrong.
void Sweep(const HostileRun& run, Figures* figures) {
  sim::Reset();
  std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
  LastErrorCode = 0;
  SetQuietRun(false);
  staging::PutDriverFolder(u"C:\\zqdriver", "new");
  sim::MakeDir(u"C:\\Logs");
  // The person closes the dialog after the one box it waits behind; every other box gets Enter.
  sim::MessageBoxRule close;
  close.textContains = "インストーラが開始できません!";
  close.onShow = [](const sim::MessageBoxRecord& box) { sim::ClickCloseBox(box.owner); };
  sim::AnswerMessageBox(close);
  run.stage();
  MachineState before = ReadMachine();
  // The spooler's driver folders as it names them on this machine: what uninstall may delete in.
  std::vector<std::u16string> driverFolders;
  for (const char16_t* environment : {sim::kEnvironmentX64, sim::kEnvironmentX86, sim::kEnvironmentArm64}) {
    std::u16string folder = Lower(sim::DriverDirectory(environment));
    if (!folder.empty()) driverFolders.push_back(folder + u"\\");
  }
  sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" " + run.arguments);
  ++figures->runs;

  int exitCode = 0;
  if (!watchdog::RunInstallerWithin(watchdog::kRunLimit, &exitCode) ||
      !sim::JoinAllThreads(static_cast<DWORD>(
          std::chrono::duration_cast<std::chrono::milliseconds>(watchdog::kRunLimit).count()))) {
    figures->Flag(&figures->hangs, run, "did not end\n" + sim::DumpJournal(30));
    return;
  }
  if (sim::LiveHeapBlocks() != 0 || sim::OpenHandles() != 0)
    figures->Flag(&figures->leaks, run, sim::OpenHandleReport());
  const bool quiet = IsQuietRun();
  ++figures->exitCodeCounts[exitCode];
  if (!(quiet ? kQuietCodes : kInteractiveCodes).count(exitCode))
    figures->Flag(&figures->exitCodes, run, "exit code " + std::to_string(exitCode));

  for (auto& printer : sim::Printers())
    if (!NameWindowsTakes(printer.name))
      figures->Flag(&figures->refusedNames, run, "printer " + sim::Utf8(printer.name));
  // Nor may such a name reach the spooler: the run would have changed the machine before.
  for (auto& call : sim::Calls("AddPrinterW"))
    if (call.args.size() > 2 && !NameWindowsTakes(sim::Utf16(call.args[2])))
      figures->Flag(&figures->refusedNames, run, "AddPrinterW with " + call.args[2].substr(0, 60));

  std::vector<std::u16string> texts;
  for (auto& box : sim::MessageBoxes()) texts.push_back(box.text);
  for (auto& call : sim::Calls("SetDlgItemTextW"))
    if (call.args.size() > 2) texts.push_back(sim::Utf16(call.args[2]));
  texts.push_back(LastErrorMessage);
  for (auto& text : texts) {
    std::string cut = CutText(text);
    if (!cut.empty()) figures->Flag(&figures->cutTexts, run, cut + ": " + sim::Utf8(text.substr(0, 80)));
  }

  std::string log = sim::FileContents(kLogPath);
  std::string bad = BadLog(log);
  if (!bad.empty()) figures->Flag(&figures->badRecords, run, bad);

  // A failed run that changed the machine says why: in a box, in an "Error" record, or (an
  // uninstall, which shows no box) in the error record of the debugger output.
  if (exitCode != 0 && !(ReadMachine() == before)) {
    bool reported = !sim::MessageBoxes().empty() || LastErrorMessage[0] != 0;
    for (auto& line : sim::DebugOutput()) reported = reported || line.find("Error: ") != std::string::npos;
    if (!reported) figures->Flag(&figures->silentChanges, run, Describe(ReadMachine()));
  }

  for (const char* name : {"DeleteFileW", "RemoveDirectoryW", "MoveFileExW"}) {
    for (auto& call : sim::Calls(name)) {
      if (call.args.empty()) continue;
      std::u16string lower = Lower(sim::Utf16(call.args[0]));
      bool inDriverFolders = false;
      for (auto& folder : driverFolders) inDriverFolders = inDriverFolders || lower.rfind(folder, 0) == 0;
      inDriverFolders = inDriverFolders && lower.find(u"\\..") == std::u16string::npos &&
                        lower.find(u"/") == std::u16string::npos;
      if (!inDriverFolders) figures->Flag(&figures->foreignDeletions, run, name + (" " + call.args[0]));
    }
  }
}

void Report(const char* what, const Figures& f) {
  std::printf(
      "hostile sweep, %s: %d runs; hangs %d, leaks %d, exit codes %d, refused printer names %d, "
      "cut texts %d, bad log records %d, silent changes %d, deletions outside the driver folder "
      "%d\n",
      what, f.runs, f.hangs, f.leaks, f.exitCodes, f.refusedNames, f.cutTexts, f.badRecords,
      f.silentChanges, f.foreignDeletions);
  std::printf("  ended with:");
  for (auto& [code, count] : f.exitCodeCounts) std::printf(" %d x%d", code, count);
  std::printf("\n");
  for (auto& finding : f.findings) std::printf("  %s\n", finding.c_str());
}

// ----- generated command lines -----

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::u16string Text(const std::u16string& unit, int times) {
    std::u16string out;
    for (int i = 0; i < times; ++i) out += unit;
    return out;
  }

  std::u16string Mode() {
    static const char16_t* const modes[] = {u"install", u"INSTALL", u"Install", u"reinstall",
                                            u"add",     u"Add",     u"check",   u"uninstall",
                                            u"remove",  u"",        u"%s%n",    u"instal"};
    // Mostly modes that run, so that the hostile arguments reach the work.
    return Pick(3) ? modes[Pick(9)] : modes[9 + Pick(3)];
  }

  std::u16string Folder() {
    switch (Pick(12)) {
      case 0: return u"C:\\zqdriver";
      case 1: return u"C:\\zqdriver\\";
      case 2: return u"..\\..\\zqdriver";
      case 3: return u"\\\\server\\share\\zqdriver";
      case 4: return u"C:\\" + Text(u"d", 40000);
      case 5: return u"C:\\" + Text(u"\u30d5", 300);
      case 6: return u"%s%s%n%ws";
      case 7: return u".";
      case 8: return u"";
      case 9: return u"C:\\zqdriver\\x64\\ZQPrinter.PDD";
      case 10: return u"\\\\?\\C:\\zqdriver";
      default: return u"C:\\" + Text(u"\U0001F5A8", 200);
    }
  }

  std::u16string Name() {
    switch (Pick(20)) {
      case 0: return u"ZQ Printer2";
      case 1: return u"a,b";
      case 2: return u"a\\b";
      case 3: return u"";
      case 4: return u"   ";
      case 5: return Text(u"N", 220);
      case 6: return Text(u"N", 221);
      case 7: return Text(u"\U0001F5A8", 110);
      case 8: return Text(u"\U0001F5A8", 111);
      case 9: return Text(u"\u65e5", 220);
      case 10: return u",XcvPort ZQVirtualPrinterPort";
      case 11: return u",XcvMonitor Local Port";
      case 12: return u"%s%n%ws%d";
      case 13: return u"lone \xD800 high";
      case 14: return u"lone \xDC00 low";
      case 15: return Text(u"\u30d7", 40000);
      case 16: return u"..\\..\\Windows";
      case 17: return u"\\\\server\\printer";
      case 18: return u"Sweep " + Text(u"x", Pick(200));
      default: return u"ZQ \u30d7\u30ea\u30f3\u30bf";
    }
  }

  std::u16string Processor() {
    static const char16_t* const processors[] = {u"x64", u"X64", u"x86", u"arm64",
                                                 u"ia64", u"", u"%n", u"x64 x64"};
    return Pick(2) ? processors[0] : processors[Pick(8)];
  }

  // An argument as a person or a script might quote it: plainly, in quotes, with a backslash
  // before the closing quote, with a quote left open, or with doubled quotes.
  std::u16string Quote(const std::u16string& argument) {
    switch (Pick(10)) {
      case 0: return argument.empty() ? u"\"\"" : argument;
      case 1: return u"\"" + argument + u"\\\"";
      case 2: return u"\"" + argument;
      case 3: return u"\"\"" + argument + u"\"\"";
      default: return u"\"" + argument + u"\"";
    }
  }

  HostileRun Next(int index) {
    std::u16string line;
    if (Pick(3) == 0) line += Pick(2) ? u"/quiet " : u"-Q ";
    if (Pick(3) == 0) {
      switch (Pick(4)) {
        case 0: line += u"/log C:\\Logs\\sweep.log "; break;
        case 1: line += u"/log \"C:\\Logs\\" + Text(u"\u30ed", 300) + u".log\" "; break;
        case 2: line += u"/log "; break;
        default: line += u"/log C:\\Logs\\sweep.log /log C:\\Logs\\sweep.log "; break;
      }
    }
    line += Mode();
    int parts = Pick(4) ? 3 : Pick(5);
    if (parts > 0) line += u" " + Quote(Folder());
    if (parts > 1) line += u" " + Quote(Name());
    if (parts > 2) line += u" " + Quote(Processor());
    if (parts > 3) line += u" " + Quote(Name());
    bool installed = Pick(2) == 0;
    bool logFile = Pick(3) == 0;
    HostileRun run;
    run.name = "generated #" + std::to_string(index) + " (" + sim::Utf8(line.substr(0, 120)) + ")";
    run.arguments = line;
    run.stage = [installed, logFile] {
      if (installed) staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2");
      if (logFile) sim::SetRegistryText(HKEY_CURRENT_USER, kSettingsKey, u"LOGFILE", kLogPath);
    };
    return run;
  }

 private:
  std::mt19937 random_;
};

TEST(HostileSweep, GeneratedCommandLines) {
  Generator generator(kSeed);
  Figures figures;
  for (int i = 0; i < kGeneratedRuns; ++i) Sweep(generator.Next(i), &figures);
  Report("generated command lines", figures);
  EXPECT_EQ(figures.runs, kGeneratedRuns);
  EXPECT_EQ(figures.Flags(), 0);
}

// ----- hostile settings -----

struct SettingRow {
  const char* name;
  const char16_t* value;  // LOGLEVEL or LOGFILE
  DWORD type;
  std::vector<BYTE> bytes;
};

std::vector<BYTE> Utf16Bytes(const std::u16string& text, bool terminated = true) {
  std::vector<BYTE> out;
  std::u16string all = terminated ? text + u'\0' : text;
  for (char16_t c : all) {
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  return out;
}

std::vector<SettingRow> SettingRows() {
  std::u16string log = kLogPath;
  return {
      {"LOGLEVEL \"0\" as text", u"LOGLEVEL", REG_SZ, Utf16Bytes(u"0")},
      {"LOGLEVEL binary", u"LOGLEVEL", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"LOGLEVEL of 2 bytes", u"LOGLEVEL", REG_DWORD, {1, 0}},
      {"LOGLEVEL 0xFFFFFFFF", u"LOGLEVEL", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"LOGLEVEL empty", u"LOGLEVEL", REG_DWORD, {}},
      {"LOGFILE as a number", u"LOGFILE", REG_DWORD, {0x43, 0x3A, 0x5C, 0x00}},
      {"LOGFILE as a list", u"LOGFILE", REG_MULTI_SZ, Utf16Bytes(log + u'\0')},
      {"LOGFILE as binary", u"LOGFILE", REG_BINARY, Utf16Bytes(log)},
      {"LOGFILE unterminated", u"LOGFILE", REG_SZ, Utf16Bytes(log, false)},
      {"LOGFILE of 300 characters", u"LOGFILE", REG_SZ,
       Utf16Bytes(u"C:\\Logs\\" + std::u16string(300, u'l'))},
      {"LOGFILE of an odd byte count", u"LOGFILE", REG_SZ, {0x43, 0x00, 0x3A}},
      {"LOGFILE expanded", u"LOGFILE", REG_EXPAND_SZ, Utf16Bytes(u"%SystemDrive%\\Logs\\sweep.log")},
      {"LOGFILE of an unknown variable", u"LOGFILE", REG_EXPAND_SZ, Utf16Bytes(u"%ZQ_NONE%\\x.log")},
      {"LOGFILE a folder", u"LOGFILE", REG_SZ, Utf16Bytes(u"C:\\Logs")},
      {"LOGFILE relative", u"LOGFILE", REG_SZ, Utf16Bytes(u"..\\sweep.log")},
      {"LOGFILE UNC", u"LOGFILE", REG_SZ, Utf16Bytes(u"\\\\server\\share\\sweep.log")},
      {"LOGFILE empty", u"LOGFILE", REG_SZ, Utf16Bytes(u"")},
      {"LOGFILE with format directives", u"LOGFILE", REG_SZ, Utf16Bytes(u"C:\\Logs\\%s%n.log")},
      {"LOGFILE of a lone surrogate", u"LOGFILE", REG_SZ, Utf16Bytes(u"C:\\Logs\\\xD800.log")},
  };
}

TEST(HostileSweep, HostileSettings) {
  const char16_t* const lines[] = {
      u"install C:\\zqdriver \"ZQ Printer2\" x64",
      u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64",
      u"/quiet /log C:\\Logs\\sweep.log uninstall",
      u"install C:\\missing \"ZQ \U0001F5A8\U0001F5A8\" x64",
  };
  Figures figures;
  for (const SettingRow& row : SettingRows()) {
    for (const char16_t* line : lines) {
      HostileRun run;
      run.name = std::string(row.name) + " / " + sim::Utf8(line);
      run.arguments = line;
      run.stage = [&row] {
        staging::StageInstalledDriver(staging::InstalledDriver(), u"Old Printer");
        sim::RegistryValue value;
        value.type = row.type;
        value.bytes = row.bytes;
        sim::SetRegistryValue(HKEY_CURRENT_USER, kSettingsKey, row.value, value);
      };
      Sweep(run, &figures);
    }
  }
  Report("hostile settings", figures);
  EXPECT_EQ(figures.Flags(), 0);
}

// ----- hostile spooler data -----

struct SpoolerRow {
  const char* name;
  std::function<void()> stage;
};

sim::Driver DriverWith(std::vector<std::u16string> dependent, std::u16string help = u"") {
  sim::Driver d = staging::InstalledDriver();
  d.dependentFiles = std::move(dependent);
  d.helpFile = std::move(help);
  return d;
}

std::vector<SpoolerRow> SpoolerRows() {
  const std::u16string folder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\";
  return {
      {"relative dependent files",
       [] { staging::StageInstalledDriver(DriverWith({u"ZQPrinter.ini", u"evil.dll"}), u"Old Printer"); }},
      {"dependent files outside the folder",
       [] {
         sim::PutFile(u"C:\\Windows\\win.ini", "keep");
         staging::StageInstalledDriver(
             DriverWith({u"C:\\Windows\\win.ini", u"C:\\Windows\\System32\\spool\\drivers\\x64\\..\\..\\x.dll"}),
             u"Old Printer");
       }},
      {"a dependent file of 40,000 characters",
       [folder] {
         staging::StageInstalledDriver(DriverWith({folder + std::u16string(40000, u'f')}),
                                       u"Old Printer");
       }},
      {"a dependent file that is a folder",
       [folder] {
         sim::MakeDir(folder + u"sub");
         staging::StageInstalledDriver(DriverWith({folder + u"sub"}), u"Old Printer");
       }},
      {"a UNC help file",
       [] {
         staging::StageInstalledDriver(DriverWith({}, u"\\\\server\\share\\zq.hlp"), u"Old Printer");
       }},
      {"a printer of our driver with a long Japanese name",
       [] { staging::StageInstalledDriver(staging::InstalledDriver(), std::u16string(220, u'\u65e5')); }},
      {"a printer of our driver named with emoji",
       [] {
         std::u16string name;
         for (int i = 0; i < 110; ++i) name += u"\U0001F5A8";
         staging::StageInstalledDriver(staging::InstalledDriver(), name);
       }},
      {"jobs with hostile document names",
       [] {
         staging::StageInstalledDriver(staging::InstalledDriver(), u"Old Printer");
         sim::AddJob(u"Old Printer", std::u16string(5000, u'\u6587'));
         sim::AddJob(u"Old Printer", u"%s%n%ws");
         sim::AddJob(u"Old Printer", u"lone \xD800");
       }},
      {"the server's spool folder as a number",
       [] {
         sim::PrinterValue value;
         value.type = REG_DWORD;
         value.bytes = {1, 0, 0, 0};
         sim::SetServerSpoolDirectory(value);
       }},
      {"the server's spool folder of 5,000 characters",
       [] { sim::SetServerSpoolDirectory(sim::TextValue(u"C:\\" + std::u16string(5000, u's'))); }},
      {"the server's spool folder missing", [] { sim::SetServerSpoolDirectory(std::nullopt); }},
      {"the driver folder of 5,000 characters",
       [] {
         sim::SetDriverDirectory(sim::kEnvironmentX64,
                                 u"C:\\" + std::u16string(5000, u'v') + u"\\x64");
       }},
      {"the driver folder with a trailing emoji pair",
       [] {
         sim::SetDriverDirectory(sim::kEnvironmentX64,
                                 u"C:\\Windows\\System32\\spool\\drivers\\\U0001F5A8\\x64");
       }},
      {"a port of ours on another monitor",
       [] { sim::AddPort(u"ZQVirtualPrinterPort", u"Standard TCP/IP Port"); }},
  };
}

TEST(HostileSweep, HostileSpoolerData) {
  const char16_t* const lines[] = {
      u"install C:\\zqdriver \"ZQ Printer2\" x64",
      u"uninstall",
      u"/quiet /log C:\\Logs\\sweep.log uninstall",
      u"reinstall C:\\zqdriver \"ZQ Printer2\" x64",
      u"/quiet /log C:\\Logs\\sweep.log reinstall C:\\zqdriver \"ZQ Printer2\" x64",
      u"add C:\\zqdriver \"Old Printer\" x64",
      u"check . \"ZQ Printer2\" x64",
  };
  Figures figures;
  for (const SpoolerRow& row : SpoolerRows()) {
    for (const char16_t* line : lines) {
      HostileRun run;
      run.name = std::string(row.name) + " / " + sim::Utf8(line);
      run.arguments = line;
      run.stage = row.stage;
      Sweep(run, &figures);
    }
  }
  Report("hostile spooler data", figures);
  EXPECT_EQ(figures.Flags(), 0);
}

}  // namespace
}  // namespace sweep

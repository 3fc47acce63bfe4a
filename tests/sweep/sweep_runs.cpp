// The staged machines of the sweep and one whole run on them under a watchdog.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include "platform/sim/files.h"
#include "platform/sim/process.h"
#include "platform/sim/registry.h"
#include "platform/sim/services.h"
#include "platform/sim/spooler.h"
#include "platform/sim/threads.h"
#include "platform/sim/ui.h"
#include "shell/installer_main.h"
#include "support/messages.h"
#include "tests/support/staging.h"
#include "tests/support/watchdog.h"
#include "tests/sweep/sweep.h"

namespace sweep {
namespace {

// Wall time a run may take before it counts as a hang. Runs take milliseconds (the spooler's
// pauses run on the virtual clock); the margin covers sanitized builds on a busy machine.
constexpr auto kWatchdog = std::chrono::seconds(20);

// Taken when the test process starts, before any reset, so that no run's journal shows the call.
const HINSTANCE Module = GetModuleHandleW(nullptr);

using staging::kDriverDir;

void PutDriverFolder() { staging::PutDriverFolder(u"C:\\zqdriver", "new"); }

void StageInstalled(const sim::Driver& driver, const std::u16string& printer, int jobs) {
  staging::StageInstalledDriver(driver, printer);
  for (int i = 0; i < jobs; ++i) sim::AddJob(printer, i ? u"" : u"report.txt");
}

void StageInstalled() { StageInstalled(staging::InstalledDriver(), u"Old Printer", 2); }

// The person at the screen: closes the progress dialog when the installer says it cannot start
// (the only box after which the dialog waits for them), and answers the replace question.
void Person(int replaceAnswer) {
  sim::MessageBoxRule close;
  close.textContains = "インストーラが開始できません!";
  close.onShow = [](const sim::MessageBoxRecord& box) { sim::ClickCloseBox(box.owner); };
  sim::AnswerMessageBox(close);
  if (replaceAnswer) sim::AnswerMessageBox("", "既にインストールされています", replaceAnswer);
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      {"InstallClean", u"install C:\\zqdriver \"Sweep Printer\" x64",
       [] {
         PutDriverFolder();
         Person(0);
       },
       true},
      {"InstallReplacingYes", u"install C:\\zqdriver \"Sweep Printer\" x64",
       [] {
         PutDriverFolder();
         StageInstalled();
         Person(IDYES);
       },
       true, 0, "Old Printer"},
      {"InstallKeepingNo", u"install C:\\zqdriver \"Sweep Printer\" x64",
       [] {
         PutDriverFolder();
         StageInstalled();
         Person(IDNO);
       },
       true},
      {"CheckInstalled", u"check . \"Sweep Printer\" x64",
       [] {
         StageInstalled();
         Person(0);
       },
       true},
      {"CheckAbsent", u"check . \"Sweep Printer\" x64", [] { Person(0); }, true, -1},
      {"Uninstall", u"uninstall",
       [] {
         StageInstalled();
         Person(0);
       },
       false},
      {"UninstallHeldFile", u"uninstall",
       [] {
         StageInstalled();
         // The spooler lets go of the driver file only after two deletion attempts.
         sim::LockFile(std::u16string(kDriverDir) + u"\\ZQPrinter_drv2.dll", 2);
         Person(0);
       },
       false},
      {"UninstallDependentFiles", u"uninstall",
       [] {
         sim::Driver d = staging::InstalledDriver();
         d.helpFile = std::u16string(kDriverDir) + u"\\ZQPrinter.hlp";
         d.dependentFiles = {std::u16string(kDriverDir) + u"\\ZQPrinter_res.dll",
                             std::u16string(kDriverDir) + u"\\ZQPrinter.ini"};
         StageInstalled(d, u"Old Printer", 1);
         Person(0);
       },
       false},
      // What uninstall leaves after the driver: an additional x86 registration with its files.
      {"UninstallOtherEnvironment", u"uninstall",
       [] {
         StageInstalled();
         staging::StageAdditionalDriver(sim::kEnvironmentX86, u"w32x86");
         Person(0);
       },
       false},
      // Refused before anything is read or changed: the machine is x64.
      {"InstallForeignProcessor", u"install C:\\zqdriver \"Sweep Printer\" x86",
       [] {
         staging::PutDriverFolder(u"C:\\zqdriver", "new");
         Person(0);
       },
       true, -1},
      {"Reinstall", u"reinstall C:\\zqdriver \"Sweep Printer\" x64",
       [] {
         PutDriverFolder();
         StageInstalled();
         Person(0);
       },
       true, 0, "Old Printer"},
      {"Add", u"add C:\\zqdriver \"Old Printer\" x64",
       [] {
         PutDriverFolder();
         StageInstalled();
         Person(0);
       },
       true},
      // Quiet runs show no box: their texts are records (and console lines).
      {"QuietInstallClean", u"/quiet install C:\\zqdriver \"Sweep Printer\" x64",
       [] { PutDriverFolder(); }, false},
      {"QuietInstallKeepingNo", u"/quiet install C:\\zqdriver \"Sweep Printer\" x64",
       [] {
         PutDriverFolder();
         StageInstalled();
       },
       false},
      {"QuietCheckInstalled", u"/quiet check . \"Sweep Printer\" x64", [] { StageInstalled(); },
       false},
  };
  return scenarios;
}

MachineState ReadMachine() {
  MachineState state;
  for (auto& d : sim::Drivers()) {
    std::string files;
    for (auto* path : {&d.driverPath, &d.configFile, &d.dataFile}) {
      files += " " + sim::FileContents(*path);
    }
    state.items.push_back("driver " + sim::Utf8(d.name) + " (" + sim::Utf8(d.environment) + ")" +
                          files);
  }
  for (auto& p : sim::Printers()) {
    auto spool = sim::GetRegistryValue(
        HKEY_LOCAL_MACHINE, std::u16string(sim::kPrintersKey) + u"\\" + p.name, u"SpoolDirectory");
    state.items.push_back("printer " + sim::Utf8(p.name) + " on " + sim::Utf8(p.port) + " with " +
                          sim::Utf8(p.driver) + " jobs " + std::to_string(p.jobs.size()) +
                          (spool ? " spool folder" : ""));
  }
  for (auto& port : sim::Ports()) state.items.push_back("port " + sim::Utf8(port.name));
  state.items.push_back(std::string("spooler ") +
                        (sim::ServiceState(sim::kSpoolerService) == SERVICE_RUNNING ? "running"
                                                                                     : "not running"));
  return state;
}

bool DiffersOnlyByLeftovers(const MachineState& run, const MachineState& clean) {
  auto has = [](const MachineState& state, const std::string& item) {
    return std::find(state.items.begin(), state.items.end(), item) != state.items.end();
  };
  for (auto& item : clean.items)
    if (!has(run, item)) return false;
  for (auto& item : run.items) {
    if (has(clean, item)) continue;
    bool leftover = item == "port ZQVirtualPrinterPort" ||
                    item.rfind("driver ZqDriver2 (Windows NT x86)", 0) == 0 ||
                    item.rfind("driver ZqDriver2 (Windows ARM64)", 0) == 0;
    if (!leftover) return false;
  }
  return true;
}

std::string Describe(const MachineState& state) {
  std::string out;
  for (auto& item : state.items) out += "  " + item + "\n";
  return out;
}

std::vector<Point> JournalPoints(const std::vector<sim::CallRecord>& journal) {
  std::vector<Point> points;
  std::map<std::string, int> seen;
  for (auto& call : journal) points.push_back({call, ++seen[call.name]});
  return points;
}

ProcessRun RunProcess(const std::u16string& arguments) {
  sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" " + arguments);
  const HINSTANCE module = Module;
  auto entered = std::make_shared<std::promise<void>>();
  auto done = std::make_shared<std::promise<int>>();
  std::future<int> result = done->get_future();
  std::thread main([entered, done, module] {
    sim::EnterProcess();
    entered->set_value();
    int code = RunInstallerMain(module, nullptr);
    sim::LeaveProcess();
    done->set_value(code);
  });
  entered->get_future().wait();  // the process runs: its end can be waited for
  ProcessRun run;
  run.ended = sim::WaitForProcessEnd(static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kWatchdog).count()));
  run.killed = sim::ProcessKilled();
  if (!run.ended || run.killed) {
    // A killed main thread stays stopped for good; a hung one is left to the report.
    main.detach();
    return run;
  }
  main.join();
  run.exitCode = result.get();
  return run;
}

RunResult RunScenario(const Scenario& scenario, const sim::Fault* fault) {
  sim::Reset();
  std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
  LastErrorCode = 0;
  scenario.stage();
  sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" " + scenario.arguments);
  if (fault) sim::InjectFault(*fault);

  RunResult result;
  if (!watchdog::RunInstallerWithin(watchdog::kRunLimit, &result.exitCode, &result.crashed)) {
    result.journalTail = sim::DumpJournal(60);
    return result;
  }
  result.ended = true;
  // Threads the run left behind (an abandoned worker) finish on their own.
  if (!sim::JoinAllThreads(static_cast<DWORD>(
          std::chrono::duration_cast<std::chrono::milliseconds>(watchdog::kRunLimit).count()))) {
    result.ended = false;
    result.journalTail = sim::DumpJournal(60);
    return result;
  }
  result.journal = sim::Journal();
  result.journalTail = sim::DumpJournal(40);
  result.heapBlocks = sim::LiveHeapBlocks();
  result.handles = sim::OpenHandles();
  result.handleReport = sim::OpenHandleReport();
  for (auto& box : sim::MessageBoxes()) result.boxTexts.push_back(sim::Utf8(box.text));
  result.boxes = result.boxTexts.size();
  result.machine = ReadMachine();
  for (auto& call : result.journal) {
    if (call.faulted) {
      result.faultFired = true;
      result.faulted = call;
      break;
    }
  }
  return result;
}

}  // namespace sweep

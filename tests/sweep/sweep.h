// The fault sweep: whole runs of the installer from a real command line on staged machines, first
// without faults, then once for every (call name, occurrence) of the fault-free run's journal with
// that one call failed. Every run must end, leak nothing, and end as the expectation table says.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/sim/sim.h"
#include "platform/sim/user.h"

namespace sweep {

// ----- what a failure must lead to -----
enum class Outcome {
  kFails,      // the run ends with -1
  kTolerated,  // the run ends as the fault-free run did: same exit code, same machine
  kEither,     // a failure of the run, or the fault-free result; the call serves both kinds of step
};

struct Expectation {
  std::string name;    // the simulated call
  std::string caller;  // narrows the row to calls inside this simulated call ("" : any, "-": none)
  // Narrows it by the call's arguments (null: all).
  std::function<bool(const sim::CallRecord&)> when;
  Outcome outcome = Outcome::kFails;
  DWORD error = 0;          // the last-error code the failing call leaves
  bool keepsObject = false;  // a failed release: the object it should have released stays
  bool boxOptional = false;  // a failure nobody can be shown (no box where one cannot appear)
  const char* why = "";
  // A run that ends as the fault-free one may leave the machine otherwise (a question that could
  // not be asked takes its default answer).
  bool machineMayDiffer = false;
};

// The row for a call that failed: the first whose name and narrowing match. Calls without a row
// fail the sweep ("no expectation"), so that a new call cannot go unswept.
const Expectation* ExpectationFor(const sim::CallRecord& call);
const std::vector<Expectation>& Expectations();

// ----- the runs -----
struct MachineState {
  std::vector<std::string> items;  // drivers, printers, ports, printer keys, spooler state
  bool operator==(const MachineState& other) const { return items == other.items; }
};
MachineState ReadMachine();
std::string Describe(const MachineState& state);
// True when `run` holds all of `clean` and besides only what uninstall removes after the driver
// and records when it cannot: the port ZQVirtualPrinterPort, and registrations of the driver for
// another environment than the machine's own ("Windows x64").
bool DiffersOnlyByLeftovers(const MachineState& run, const MachineState& clean);

struct Scenario {
  const char* name;
  std::u16string arguments;      // after the program's path
  std::function<void()> stage;   // machine and scripted user; runs after the reset
  bool boxForEveryFailure;       // install, add, check: a -1 always comes with a box
  int exitCode = 0;              // of the fault-free run
  // A replacement: while a failed run leaves the old registration, it leaves this printer too.
  const char* keptPrinter = nullptr;
};
const std::vector<Scenario>& Scenarios();
// Names the scenario in test output.
inline void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

struct RunResult {
  bool ended = false;
  bool crashed = false;  // an exception left the program's main
  int exitCode = 0;
  std::string journalTail;  // the last calls, for a hang or a failed check
  std::vector<sim::CallRecord> journal;
  size_t heapBlocks = 0, handles = 0;
  std::string handleReport;
  size_t boxes = 0;
  std::vector<std::string> boxTexts;
  MachineState machine;
  bool faultFired = false;
  sim::CallRecord faulted;  // the call that failed, when one did
};

// The points of a run: every call of its journal by name and occurrence, in journal order. The
// fault sweep fails each in turn, the crash sweep ends the process at each.
struct Point {
  sim::CallRecord call;
  int occurrence;
};
std::vector<Point> JournalPoints(const std::vector<sim::CallRecord>& journal);

// One process of the program on the machine as it is (no reset): the command line's arguments,
// run on a main thread of its own until the process has ended, by returning or by a kill armed
// before (sim::KillProcessAt). A process still running after the watchdog's wall time has
// ended == false. The caller starts the next process (sim::StartNextProcess) when it is done
// looking.
struct ProcessRun {
  bool ended = false;
  bool killed = false;
  int exitCode = 0;
};
ProcessRun RunProcess(const std::u16string& arguments);

// One whole run; `fault` empty runs without faults. A run that has not ended after the watchdog's
// wall time is reported with ended == false; the machine is then still in use.
RunResult RunScenario(const Scenario& scenario, const sim::Fault* fault);

}  // namespace sweep

// How a run ended, and the one table that says which exit code each ending gives. Interactive
// runs end with 0 or -1 as they always did; quiet runs (/quiet, or a window station nobody sees)
// end with the Windows Installer's numbers, which deployment tools already act on (1618: retry
// later; 1603: failed; ...).
#pragma once

#include "platform/win32.h"

enum RunOutcome {
  Done = 0,             // the mode did its work; for check: the driver is installed
  NotInstalled,         // check: the driver is absent; add: no printer or no driver to add to
  StepFailed,           // a step failed, or the run could not go on (printer name in use, ...)
  CommandLineRejected,  // the command line was refused before anything was read or changed
  MachineRefused,       // this Windows, or the machine's processor, does not fit the request
  PolicyRefused,        // the machine's policy forbids adding the driver (protected print mode)
  InstallerBusy,        // another installer still held the lock after the longest wait
  StoppedOnRequest,     // a person (the dialog closed) or the console asked to stop first
  RunOutcomeCount
};

struct OutcomeRow {
  RunOutcome outcome;
  int interactiveCode;
  int quietCode;
  LPCSTR meaning;  // for the run's last record
};

// One row per outcome, in the order of RunOutcome.
inline constexpr OutcomeRow OutcomeTable[] = {
    {Done, 0, 0, "done"},
    {NotInstalled, -1, 1605, "not installed"},
    {StepFailed, -1, 1603, "a step failed"},
    {CommandLineRejected, -1, 1639, "the command line is rejected"},
    {MachineRefused, -1, 1633, "refused: the machine does not fit"},
    {PolicyRefused, -1, 1625, "refused by the machine's policy"},
    {InstallerBusy, -1, 1618, "another installer is still running: try again later"},
    {StoppedOnRequest, -1, 1602, "stopped on request before the work was done"},
};

constexpr bool OutcomeTableInOrder() {
  int row = 0;
  for (const OutcomeRow& entry : OutcomeTable) {
    if (entry.outcome != static_cast<RunOutcome>(row)) return false;
    ++row;
  }
  return row == RunOutcomeCount;
}
static_assert(OutcomeTableInOrder(), "every outcome has its row, in enumeration order");

// The row of an outcome; a value that is none counts as a failed step.
inline const OutcomeRow& RowOf(RunOutcome outcome) {
  return OutcomeTable[outcome >= Done && outcome < RunOutcomeCount ? outcome : StepFailed];
}
// The process's exit code for an outcome, in a quiet run or an interactive one.
inline int ExitCodeOf(RunOutcome outcome, bool quiet) {
  return quiet ? RowOf(outcome).quietCode : RowOf(outcome).interactiveCode;
}

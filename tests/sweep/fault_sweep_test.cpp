// The fault sweep, one test per scenario: the fault-free run, then one run per (call name,
// occurrence) of its journal with that call failed. Prints the figures of each scenario.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "platform/sim/threads.h"
#include "tests/sweep/sweep.h"

namespace sweep {
namespace {

// Calls that Windows documents as never failing: they have no fault check and are not swept.
bool CannotFail(const std::string& name) { return name == "Sleep" || name == "GetTickCount"; }

// A run that did not do its work: -1 from an interactive run; from a quiet one the code of a failed
// step (1603), of a platform that could not be told (1633), or -1 where the failed call left the
// command line unread, so that the run never knew it was quiet.
bool IsFailure(const Scenario& scenario, int exitCode) {
  bool quiet = scenario.arguments.rfind(u"/quiet", 0) == 0;
  return exitCode == -1 || (quiet && (exitCode == 1603 || exitCode == 1633));
}

struct Figures {
  size_t points = 0, runs = 0, unreached = 0, hangs = 0, crashes = 0, leaks = 0,
         wrongExitCodes = 0, silentFailures = 0, noExpectation = 0, notSwept = 0;
};

class FaultSweep : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultSweep, EveryCallFailedInTurn) {
  const Scenario& scenario = GetParam();
  RunResult clean = RunScenario(scenario, nullptr);
  ASSERT_TRUE(clean.ended) << "the fault-free run hangs:\n" << clean.journalTail;
  ASSERT_FALSE(clean.crashed) << "the fault-free run crashes:\n" << clean.journalTail;
  ASSERT_EQ(clean.exitCode, scenario.exitCode) << clean.journalTail;
  ASSERT_EQ(clean.heapBlocks + clean.handles, 0u) << clean.handleReport;

  // The injection points: every call of the fault-free journal, by name and occurrence.
  std::vector<Point> points;
  Figures f;
  for (const Point& p : JournalPoints(clean.journal)) {
    if (CannotFail(p.call.name)) {
      ++f.notSwept;
      continue;
    }
    points.push_back(p);
  }
  f.points = points.size();

  int reported = 0;
  auto report = [&](const Point& p, const RunResult& r, const std::string& what) {
    if (++reported > 25) return;  // the first ones tell the story
    ADD_FAILURE() << scenario.name << ": " << p.call.name << " #" << p.occurrence
                  << (p.call.caller.empty() ? "" : " (inside " + p.call.caller + ")") << ": "
                  << what << "\n  exit code " << r.exitCode << ", boxes " << r.boxes
                  << (r.boxTexts.empty() ? "" : " (last: " + r.boxTexts.back() + ")")
                  << "\n  machine:\n"
                  << Describe(r.machine) << "  fault-free machine:\n"
                  << Describe(clean.machine) << "  journal tail:\n"
                  << r.journalTail;
  };

  for (const Point& p : points) {
    const Expectation* row = ExpectationFor(p.call);
    if (!row) {
      ++f.noExpectation;
      if (++reported <= 25)
        ADD_FAILURE() << scenario.name << ": no expectation for " << p.call.name
                      << (p.call.caller.empty() ? "" : " inside " + p.call.caller);
      continue;
    }
    sim::Fault fault{p.call.name, row->error, p.occurrence, 1, {}};
    RunResult r = RunScenario(scenario, &fault);
    ++f.runs;
    if (!r.ended) {
      ++f.hangs;
      report(p, r, "the run does not end");
      // The machine is still in use by the stuck run: nothing more can run in this process.
      std::printf("sweep %s: hang, stopping\n", scenario.name);
      std::fflush(stdout);
      std::_Exit(1);
    }
    if (r.crashed) {
      ++f.crashes;
      report(p, r, "the run crashed (an exception left the program's main)");
      continue;
    }
    // The row of the call that really failed (thread timing can move an occurrence).
    const Expectation* actual = r.faultFired ? ExpectationFor(r.faulted) : row;
    if (!actual) actual = row;
    size_t kept = actual->keepsObject && r.faultFired ? 1 : 0;
    if (r.heapBlocks + r.handles > kept) {
      ++f.leaks;
      report(p, r, "left " + std::to_string(r.heapBlocks) + " heap blocks and " +
                       std::to_string(r.handles) + " handles:\n" + r.handleReport);
    }
    Outcome outcome = r.faultFired ? actual->outcome : Outcome::kTolerated;
    if (!r.faultFired) ++f.unreached;
    bool asFaultFree = r.exitCode == clean.exitCode;
    bool wrong = false;
    switch (outcome) {
      case Outcome::kFails:
        wrong = !IsFailure(scenario, r.exitCode);
        break;
      case Outcome::kTolerated:
        wrong = !asFaultFree;
        break;
      case Outcome::kEither:
        wrong = !IsFailure(scenario, r.exitCode) && !asFaultFree;
        break;
    }
    if (wrong) {
      ++f.wrongExitCodes;
      report(p, r, std::string("exit code disagrees with the table (") + actual->why + ")");
      continue;
    }
    // Silent: a success that did not do the work, or a failure nobody was told about.
    bool silent = false;
    if (r.exitCode == 0 && !(r.machine == clean.machine) &&
        !(r.faultFired && actual->machineMayDiffer) &&
        !DiffersOnlyByLeftovers(r.machine, clean.machine))
      silent = true;
    if (IsFailure(scenario, r.exitCode) && scenario.boxForEveryFailure && r.boxes == 0 &&
        !(r.faultFired && actual->boxOptional))
      silent = true;
    // A failed replacement that left the old registration put back the printers it had deleted.
    auto holds = [&](const std::string& head) {
      return std::any_of(r.machine.items.begin(), r.machine.items.end(),
                         [&](const std::string& item) { return item.rfind(head, 0) == 0; });
    };
    if (scenario.keptPrinter && IsFailure(scenario, r.exitCode) &&
        holds("driver ZqDriver2 (Windows x64) old") &&
        !holds(std::string("printer ") + scenario.keptPrinter + " on "))
      silent = true;
    // A failure box always names its failure: never a code of 0 with the text of success.
    for (const std::string& text : r.boxTexts)
      if (text.find("Error code: 0\n") != std::string::npos) silent = true;
    if (silent) {
      ++f.silentFailures;
      report(p, r, "silent failure");
    }
  }

  std::printf(
      "sweep %s: %zu injection points (%zu calls that cannot fail not swept), %zu runs, "
      "%zu not reached, %zu hangs, %zu crashes, %zu leaks, %zu wrong exit codes, %zu silent "
      "failures, %zu without expectation; fault-free exit code %d\n",
      scenario.name, f.points, f.notSwept, f.runs, f.unreached, f.hangs, f.crashes, f.leaks,
      f.wrongExitCodes, f.silentFailures, f.noExpectation, clean.exitCode);
  EXPECT_EQ(f.hangs + f.crashes + f.leaks + f.wrongExitCodes + f.silentFailures + f.noExpectation,
            0u);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace sweep

#include "tests/support/watchdog.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

#include "platform/sim/process.h"
#include "platform/sim/sim.h"
#include "shell/installer_main.h"

namespace watchdog {
namespace {

// Taken when the process starts, before any test resets the machine, so that no run's journal
// shows the call.
const HINSTANCE Module = GetModuleHandleW(nullptr);

}  // namespace

bool RunInstallerWithin(std::chrono::milliseconds limit, int* exitCode, bool* crashed) {
  const HINSTANCE module = Module;
  auto done = std::make_shared<std::promise<int>>();
  auto thrown = std::make_shared<bool>(false);
  std::future<int> result = done->get_future();
  std::thread main([done, thrown, module] {
    sim::EnterProcess();  // the process's main thread, and its threads' creator
    int code = -1;
    try {
      code = RunInstallerMain(module, nullptr);
    } catch (...) {
      *thrown = true;
    }
    sim::LeaveProcess();
    done->set_value(code);
  });
  if (result.wait_for(limit) != std::future_status::ready) {
    main.detach();
    return false;
  }
  main.join();
  *exitCode = result.get();
  if (crashed) *crashed = *thrown;
  return true;
}

void HangAndExit(const char* what) {
  std::fprintf(stderr, "%s: the run does not end; the journal's tail:\n%s", what,
               sim::DumpJournal(60).c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace watchdog

// The simulated process's session: its window station, its token and its console. What tests
// stage and inspect.
//
//  - Window station: GetProcessWindowStation gives a pseudo handle (never closed);
//    GetUserObjectInformationW(UOI_FLAGS) reports WSF_VISIBLE for "WinSta0", the interactive
//    station, and not for a service's station ("Service-0x0-3e7$" for SYSTEM), where no one sees a
//    window or answers a box. A reset gives the visible "WinSta0".
//  - Token: OpenProcessToken gives a "token" kernel handle; GetTokenInformation(TokenElevation)
//    tells whether the process runs elevated (a reset gives an elevated process, as an installer
//    started with administrator rights is). A process that is not elevated cannot administer the
//    print server: the port monitors' data channel refuses it (see xcv.cpp).
//  - Console: a program of the GUI subsystem starts without standard handles. When the process
//    that started it has a console, AttachConsole(ATTACH_PARENT_PROCESS) attaches to it and the
//    standard output then is that console (GetConsoleMode succeeds, WriteConsoleW writes wide
//    text). A reset gives a parent without a console.
#pragma once

#include <functional>
#include <string>

#include "platform/sim/windows.h"

namespace sim {

void SetWindowStation(const std::u16string& name, bool visible);
void SetElevated(bool elevated);
void SetParentConsole(bool present);
// Everything written to the attached console since the reset, as UTF-8.
std::string ConsoleText();
bool ConsoleAttached();

// Console events (console_events.cpp). SetConsoleCtrlHandler keeps the process's handlers, the
// last added called first. DeliverConsoleEvent delivers one as Windows does: on a thread of its
// own, the handlers in turn until one returns TRUE; when none does, the default handler ends the
// process. After a close, logoff or shutdown event the process ends as soon as the handler
// returns, whatever it returned. That end is not carried out here: `atProcessEnd` runs at that
// moment, on the handler's thread, for the test to look at the machine. The call returns once the
// handlers have returned or one of them waits for an event (a handler that waits for the run's
// end). Deliver it from RunAtCall (sim.h) to have it come during a given step.
void DeliverConsoleEvent(DWORD event, std::function<void()> atProcessEnd = {});
// Waits until the handlers of every delivered event have returned.
void WaitForConsoleHandlers();
size_t ConsoleHandlerCount();
// Whether a delivered event ended the process (the default handler, or a close event).
bool ProcessEndedByConsoleEvent();

// Whether the process's token is elevated (what GetTokenInformation reports).
bool ProcessElevated();

}  // namespace sim

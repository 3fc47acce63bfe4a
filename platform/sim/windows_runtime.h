// The simulated Windows Runtime activation (combase.dll) and the one runtime class the program
// asks for: Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo, whose statics
// interface tells whether Windows protected print mode is on.
//
// What the calls do, after Microsoft's documentation of each:
//  - RoInitialize: S_OK for the thread's first initialisation, S_FALSE for a further one of the
//    same kind, RPC_E_CHANGED_MODE for another kind; each success is paired with RoUninitialize;
//  - RoGetActivationFactory: CO_E_NOTINITIALIZED on a thread that has not initialised the
//    runtime, REGDB_E_CLASSNOTREG for a class this Windows does not have (before Windows 11
//    24H2, and Wine), E_NOINTERFACE for an interface the factory does not implement;
//  - WindowsCreateString: the empty text is the null HSTRING; WindowsDeleteString of it is S_OK.
// Every HSTRING and every reference to the factory is a handle of the simulated machine, so a
// run that leaves one behind shows it as an open handle.
#pragma once

#include "platform/sim/windows.h"

namespace sim {

// What Windows has of the protected print class. A reset gives Absent.
enum class ProtectedPrintClass {
  Absent,   // not registered: RoGetActivationFactory answers REGDB_E_CLASSNOTREG
  On,       // IsProtectedPrintEnabled answers true
  Off,      // ... false
  Failing,  // the class is there; IsProtectedPrintEnabled fails with the error given
};
void SetProtectedPrintClass(ProtectedPrintClass state, HRESULT failure = E_FAIL);

// The statics interface's identity, as the Windows metadata gives it.
inline constexpr IID kProtectedPrintInfoStaticsIid = {
    0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};
inline constexpr char16_t kProtectedPrintInfoClass[] =
    u"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";

}  // namespace sim

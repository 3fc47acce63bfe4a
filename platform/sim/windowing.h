// Dialog item texts as the simulated windowing keeps them (what tests read back, e.g. the
// progress dialog's status line).
#pragma once

#include <string>

#include "platform/sim/windows.h"

namespace sim {

// The text last set on the item of that window; empty when none was set.
std::u16string DialogItemText(HWND dialog, int itemId);

}  // namespace sim

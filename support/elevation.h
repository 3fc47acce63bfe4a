// Whether this process runs elevated, as its token says.
#pragma once

#include "platform/win32.h"

// True when the token could be read: then `*elevated` tells whether the process is elevated
// (TokenElevation). False, with the last error, when it cannot be told.
[[nodiscard]] bool QueryElevation(bool* elevated);
// Whether the run is to be treated as elevated: it is, or it cannot be told (the safe guess).
bool CountsAsElevated();

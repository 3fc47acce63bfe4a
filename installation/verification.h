// `verify`: whether everything an install leaves is in place, told without changing anything. The
// driver registered for the machine's own environment (and for the request's processor when that
// is another one, as `add` registers it), its three files where the spooler loads them, the port,
// and the named printer on that driver and port.
#pragma once

#include "installation/operations.h"
#include "installation/outcome.h"
#include "platform/win32.h"

// Checks every piece in order and writes a record for each one checked. True when all are in
// place. Otherwise the first piece missing is named in an error box ("ドライバ 'ZqDriver2' の状態が
// 正しくありません: ...") and `failure`, when given, receives NotInstalled (or StepFailed when the
// spooler could not be asked). Starts no spooler and takes nothing.
bool VerifyOperation(const OperationRequest& request, RunOutcome* failure = nullptr);

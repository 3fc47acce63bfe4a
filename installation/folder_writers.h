// Who besides administrators may write a folder, as its DACL says.
#pragma once

#include "platform/win32.h"

// Finds the first group of non-administrators (Users, Authenticated Users, Everyone, INTERACTIVE)
// that an allowing entry of the folder's DACL, one that applies to the folder itself, grants a
// right to put another file in the place of one there: add a file or folder, delete a child, or
// change the folder's permissions or owner. `*group` is its name, or nullptr when none; a folder
// without a DACL lets everyone in ("Everyone"). Deny entries are not weighed: a grant is reason
// enough to warn. False, with the last error, when the folder's security cannot be read.
[[nodiscard]] bool FindNonAdministratorWriter(LPCWSTR folder, LPCWSTR* group);

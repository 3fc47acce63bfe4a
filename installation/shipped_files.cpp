// The list of shipped driver files this build carries, for verify: none yet.
#include "installation/verification.h"

// This build carries no list of its shipped files: `verify` checks that the files are there.
ShippedFileVerdict CompareWithShippedFile(LPCWSTR, LPCWSTR) { return NoShippedList; }

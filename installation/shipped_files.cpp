// The list of shipped driver files, for verify: the program's driver manifest.
#include "installation/driver_manifest.h"
#include "installation/verification.h"

// The manifest lists the files by processor: the one whose environment the registration has.
ShippedFileVerdict CompareWithShippedFile(LPCWSTR environment, LPCWSTR installedPath,
                                          LPCWSTR fileName) {
  if (!HasDriverManifest()) return NoShippedList;
  for (const ProcessorRow& row : ProcessorTable)
    if (lstrcmpiW(row.environment, environment) == 0)
      return VerifyDriverFile(row.processor, fileName, installedPath) ? ShippedFileMatches
                                                                      : ShippedFileDiffers;
  return ShippedFileDiffers;
}

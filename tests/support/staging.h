// Machines staged as the installer finds them: the driver folder a command line names, and
// "ZqDriver2" installed as an earlier run left it.
#pragma once

#include <string>

#include "platform/sim/spooler.h"

namespace staging {

inline constexpr char16_t kDriverDir[] = u"C:\\Windows\\System32\\spool\\drivers\\x64";

// <folder>\x64 and <folder>\x86 with the three driver files, each holding its name and the tag.
void PutDriverFolder(const std::u16string& folder, const std::string& tag);
// "ZqDriver2" registered for x64 with its files in the x64 driver folder.
sim::Driver InstalledDriver(WORD devModeVersion = 0x0500);
// The driver's files (each holding "old") and its registration.
void PutInstalledDriver(const sim::Driver& driver);
// "ZqDriver2" registered for another environment (an additional driver, for clients) with its
// files in that environment's driver folder (sub-folder of the spooler's drivers folder).
sim::Driver AdditionalDriver(const std::u16string& environment, const std::u16string& subFolder);
void StageAdditionalDriver(const std::u16string& environment, const std::u16string& subFolder);
// The driver (its files holding "old"), the port, and a printer of that name using both.
void StageInstalledDriver(const sim::Driver& driver, const std::u16string& printer);

}  // namespace staging

#include "tests/support/staging.h"

#include "platform/sim/files.h"
#include "platform/sim/sim.h"

namespace staging {

void PutDriverFolder(const std::u16string& folder, const std::string& tag) {
  for (const char16_t* sub : {u"x64", u"x86"})
    for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"})
      sim::PutFile(folder + u"\\" + sub + u"\\" + file, sim::Utf8(file) + " " + tag);
}

sim::Driver InstalledDriver(WORD devModeVersion) {
  sim::Driver d;
  d.devModeVersion = devModeVersion;
  d.name = u"ZqDriver2";
  d.version = 4;
  d.driverPath = std::u16string(kDriverDir) + u"\\ZQPrinter_drv2.dll";
  d.configFile = std::u16string(kDriverDir) + u"\\ZQPrinter_ui2.dll";
  d.dataFile = std::u16string(kDriverDir) + u"\\ZQPrinter.PDD";
  return d;
}

void PutInstalledDriver(const sim::Driver& driver) {
  for (auto* path : {&driver.driverPath, &driver.configFile, &driver.dataFile, &driver.helpFile})
    if (!path->empty()) sim::PutFile(*path, "old");
  for (auto& path : driver.dependentFiles) sim::PutFile(path, "old");
  sim::AddDriver(driver);
}

sim::Driver AdditionalDriver(const std::u16string& environment, const std::u16string& subFolder) {
  std::u16string folder = u"C:\\Windows\\System32\\spool\\drivers\\" + subFolder;
  sim::Driver d = InstalledDriver();
  d.environment = environment;
  d.driverPath = folder + u"\\ZQPrinter_drv2.dll";
  d.configFile = folder + u"\\ZQPrinter_ui2.dll";
  d.dataFile = folder + u"\\ZQPrinter.PDD";
  return d;
}

void StageAdditionalDriver(const std::u16string& environment, const std::u16string& subFolder) {
  PutInstalledDriver(AdditionalDriver(environment, subFolder));
}

void StageInstalledDriver(const sim::Driver& driver, const std::u16string& printer) {
  PutInstalledDriver(driver);
  sim::AddPort(u"ZQVirtualPrinterPort");
  sim::Printer p;
  p.name = printer;
  p.driver = u"ZqDriver2";
  p.port = u"ZQVirtualPrinterPort";
  p.devMode = sim::MakeDevMode(printer, 0x0500, 16);
  sim::AddPrinter(p);
}

}  // namespace staging

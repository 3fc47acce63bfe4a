// Shared staging for the installation step tests: a clean error record, the driver folder the
// command line names, the installed driver with its files, and journal helpers.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/bcrypt.h"
#include "platform/sim/files.h"
#include "platform/sim/resources.h"
#include "platform/sim/services.h"
#include "platform/sim/spooler.h"
#include "support/messages.h"
#include "tests/support/sim_test.h"
#include "tests/support/staging.h"

class InstallationTest : public SimTest {
 protected:
  static constexpr char16_t kDriverDir[] = u"C:\\Windows\\System32\\spool\\drivers\\x64";

  void SetUp() override {
    SimTest::SetUp();
    std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
    LastErrorCode = 0;
  }

  static std::string Message() { return U8(LastErrorMessage); }

  // The three files of one processor in <folder>\<sub>, each holding its own name and a tag.
  static void PutSourceFiles(const std::u16string& folder, const std::u16string& sub,
                             const std::string& tag = "new") {
    for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"})
      sim::PutFile(folder + u"\\" + sub + u"\\" + file, sim::Utf8(file) + " " + tag);
  }

  // The program carries the driver manifest of the files now in <folder>\<sub> for each sub.
  static void PutDriverManifest(const std::u16string& folder, const std::vector<std::u16string>& subs) {
    std::string text = "ZQInst driver manifest 1\n";
    for (auto& sub : subs)
      for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"}) {
        std::string b = sim::FileContents(folder + u"\\" + sub + u"\\" + file);
        text += sim::Utf8(sub + u" " + file) + " " + std::to_string(b.size()) + " " + sim::Sha256Hex(b) + "\n";
      }
    sim::SetProgramData(u"DRIVERMANIFEST", text);
  }

  // "ZqDriver2" (or another name) registered for the machine's environment, its files present.
  static sim::Driver InstalledDriver(const std::u16string& name = u"ZqDriver2") {
    sim::Driver d;
    d.name = name;
    d.environment = sim::kEnvironmentX64;
    d.version = 3;
    d.driverPath = std::u16string(kDriverDir) + u"\\ZQPrinter_drv2.dll";
    d.configFile = std::u16string(kDriverDir) + u"\\ZQPrinter_ui2.dll";
    d.dataFile = std::u16string(kDriverDir) + u"\\ZQPrinter.PDD";
    return d;
  }
  static void Install(const sim::Driver& d) { staging::PutInstalledDriver(d); }

  static sim::Printer PrinterOf(const std::u16string& name, const std::u16string& driver,
                                const std::u16string& port = u"ZQVirtualPrinterPort") {
    sim::Printer p;
    p.name = name;
    p.driver = driver;
    p.port = port;
    p.devMode = sim::MakeDevMode(name, 0x0500, 8);
    return p;
  }

  // The first argument of each call of that name (or argument `index`).
  static std::vector<std::string> Args(const std::string& name, size_t index = 0) {
    std::vector<std::string> out;
    for (auto& call : sim::Calls(name))
      out.push_back(index < call.args.size() ? call.args[index] : "");
    return out;
  }
  // Journal position of the first call of that name whose arguments contain `text` (npos: none).
  static size_t Position(const std::string& name, const std::string& text = "") {
    auto journal = sim::Journal();
    for (size_t i = 0; i < journal.size(); ++i)
      if (journal[i].name == name && (text.empty() || sim::ArgContains(journal[i], text))) return i;
    return std::string::npos;
  }
  static size_t LastPosition(const std::string& name) {
    auto journal = sim::Journal();
    for (size_t i = journal.size(); i-- > 0;)
      if (journal[i].name == name) return i;
    return std::string::npos;
  }
  static bool SpoolerRunning() {
    return sim::ServiceState(sim::kSpoolerService) == SERVICE_RUNNING;
  }
};

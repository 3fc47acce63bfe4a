// Process entry of ZQInst on the simulated Windows, the Linux program (build/host/ZQInst): the
// process's command line is handed to the simulated machine and the same entry routine runs as on
// Windows. The machine is a fresh one (spooler running, no driver); the stand-in driver files are
// placed in C:\zqdriver so that an installation can run. Afterwards the run prints what the
// person saw and what changed.
#include <cstdio>
#include <string>

#include "platform/sim/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/spooler.h"
#include "platform/sim/ui.h"
#include "platform/sim/user.h"
#include "resources/resource.h"
#include "shell/installer_main.h"

namespace {

// Quotes an argument so that CommandLineToArgvW gives it back unchanged.
std::u16string Quote(const std::string& argument) {
  std::u16string text = sim::Utf16(argument);
  if (!text.empty() && text.find_first_of(u" \t\"") == std::u16string::npos) return text;
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : text) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');
  return out + u"\"";
}

}  // namespace

int main(int argc, char** argv) {
  sim::Reset();
  for (const char16_t* sub : {u"x64", u"x86"})
    for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"})
      sim::PutFile(std::u16string(u"C:\\zqdriver\\") + sub + u"\\" + file, "stand-in");

  std::u16string commandLine = u"ZQInst.exe";
  for (int i = 1; i < argc; ++i) commandLine += u" " + Quote(argv[i]);
  sim::SetCommandLine(commandLine);

  int exitCode = RunInstallerMain(GetModuleHandleW(nullptr), nullptr);

  for (auto& text : sim::ItemTextHistory(IDC_STATUS))
    std::printf("status: %s\n", sim::Utf8(text).c_str());
  for (auto& box : sim::MessageBoxes())
    std::printf("box [%s] %s (answered %d)\n", sim::Utf8(box.caption).c_str(),
                sim::Utf8(box.text).c_str(), box.answer);
  for (auto& driver : sim::Drivers())
    std::printf("driver: %s (%s)\n", sim::Utf8(driver.name).c_str(),
                sim::Utf8(driver.environment).c_str());
  for (auto& printer : sim::Printers())
    std::printf("printer: %s on %s with %s\n", sim::Utf8(printer.name).c_str(),
                sim::Utf8(printer.port).c_str(), sim::Utf8(printer.driver).c_str());
  std::printf("virtual time: %llu ms\n", static_cast<unsigned long long>(sim::Now()));
  std::printf("exit code: %d\n", exitCode);
  return exitCode;
}

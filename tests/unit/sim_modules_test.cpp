// The simulated modules: the loader's name rules, one handle per loaded module with references,
// and the common-controls library's exports as the test stages them.
#include <string>

#include "platform/sim/modules.h"
#include "tests/support/sim_test.h"

namespace {

class SimModulesTest : public SimTest {};

TEST_F(SimModulesTest, LoadsShareOneHandleUntilTheLastFree) {
  HMODULE first = LoadLibraryW(u"comctl32.dll");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(LoadLibraryW(u"COMCTL32"), first);  // ".dll" assumed
  EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\System32\\ComCtl32.DLL"), first);
  EXPECT_EQ(sim::ModuleLoads(u"comctl32.dll"), 3u);
  EXPECT_EQ(sim::ModuleReferences(u"comctl32"), 3);
  EXPECT_EQ(sim::LoadedModule(u"comctl32.dll"), first);
  EXPECT_EQ(sim::OpenHandles("module"), 1u);

  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(sim::OpenHandles("module"), 1u);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(sim::OpenHandles("module"), 0u);
  EXPECT_EQ(sim::LoadedModule(u"comctl32.dll"), nullptr);
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(first, "DllGetVersion"), nullptr);  // a stale handle
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(sim::ModuleLoads(u"comctl32.dll"), 3u);  // loads stay counted
}

TEST_F(SimModulesTest, UnknownOrMissingModulesAreNotFound) {
  EXPECT_EQ(LoadLibraryW(u"shell32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryW(u"comctl32."), nullptr);  // a trailing dot: a file without extension
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  sim::CommonControlsLibrary library;
  library.installed = false;
  sim::SetCommonControls(library);
  EXPECT_EQ(LoadLibraryW(u"comctl32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(sim::ModuleLoads(u"comctl32.dll"), 0u);
}

TEST_F(SimModulesTest, DllGetVersionReportsTheStagedVersionOrFailure) {
  HMODULE module = LoadLibraryW(u"comctl32.dll");
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetVersion")));
  ASSERT_NE(getVersion, nullptr);

  DLLVERSIONINFO info = {};
  info.cbSize = sizeof info;
  EXPECT_EQ(getVersion(&info), S_OK);
  EXPECT_EQ(info.dwMajorVersion, 6u);  // a fresh machine: common controls 6.10
  EXPECT_EQ(info.dwMinorVersion, 10u);
  EXPECT_EQ(info.dwPlatformID, 2u);
  info.cbSize = 12;
  EXPECT_EQ(getVersion(&info), E_INVALIDARG);

  sim::CommonControlsLibrary library;
  library.major = 5;
  library.minor = 82;
  sim::SetCommonControls(library);
  info = {};
  info.cbSize = sizeof info;
  EXPECT_EQ(getVersion(&info), S_OK);
  EXPECT_EQ(info.dwMajorVersion * 100 + info.dwMinorVersion, 582u);

  library.versionResult = E_FAIL;
  library.versionError = ERROR_NOT_SUPPORTED;
  sim::SetCommonControls(library);
  SetLastError(0);
  EXPECT_EQ(getVersion(&info), E_FAIL);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  FreeLibrary(module);
}

TEST_F(SimModulesTest, OnlyStagedExportsAreFoundByTheirExactName) {
  HMODULE module = LoadLibraryW(u"comctl32.dll");
  EXPECT_NE(GetProcAddress(module, "InitCommonControlsEx"), nullptr);
  EXPECT_NE(GetProcAddress(module, "InitializeFlatSB"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "dllgetversion"), nullptr);  // names are case-sensitive
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  sim::CommonControlsLibrary library;
  library.hasDllGetVersion = false;
  library.hasInitializeFlatSB = false;
  sim::SetCommonControls(library);
  EXPECT_EQ(GetProcAddress(module, "DllGetVersion"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(module, "InitializeFlatSB"), nullptr);
  EXPECT_NE(GetProcAddress(module, "InitCommonControlsEx"), nullptr);
  FreeLibrary(module);
}

}  // namespace

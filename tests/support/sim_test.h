// Base fixture for tests on the simulated machine: a fresh machine per test, and at the end the
// accounting must show that nothing was left open or allocated.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim.h"

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Debugger breaks the test provokes on purpose (a programming-error assertion).
  size_t expectedDebugBreaks = 0;
  // Set by tests that deliberately keep a block or handle until TearDown.
  bool skipLeakCheck = false;
};

// Wide literal helpers for assertions.
inline std::string U8(const char16_t* text) { return sim::Utf8(text); }

// The system's own text for an error code, as FormatMessageW gives it (inserts kept, at most 511
// characters), in UTF-8: what a record or report quoting the system must show.
inline std::string PlatformText(DWORD code) {
  WCHAR text[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                 text, 512, nullptr);
  return sim::Utf8(text);
}

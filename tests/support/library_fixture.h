// Test support: every library test starts from the load state and captures the trace.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "exports/entry.h"
#include "kxlib32.h"
#include "link/serial_port.h"
#include "link/transport.h"
#include "session/state.h"

namespace testsupport {

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryForTests();
    KXSetTraceHook(&LibraryTest::Collect, this);
  }
  void TearDown() override {
    KXClose();
    ResetLibraryForTests();
  }

  // Back to the load state between the rows of a table: the session closed, the
  // library's globals reset, the trace collected afresh.
  void Restart() {
    KXClose();
    ResetLibraryForTests();
    KXSetTraceHook(&LibraryTest::Collect, this);
    ClearTraces();
  }

  // Every trace write so far, in order.
  std::vector<std::string> Traces() {
    std::lock_guard<std::mutex> g(traceLock_);
    return traces_;
  }
  int CountTrace(const std::string& text) {
    int n = 0;
    for (const auto& t : Traces()) n += t == text;
    return n;
  }
  void ClearTraces() {
    std::lock_guard<std::mutex> g(traceLock_);
    traces_.clear();
  }

  // A serial session on `comName` at `baud` without the instrument exchange of KXOpen:
  // the port is opened and the session marked open, as the serial open leaves it.
  void OpenLink(const std::string& comName, const char* baud = "9600") {
    uint32_t error = 0;
    ASSERT_EQ(ComPortOpen(comName.c_str(), baud, &error), 1) << std::hex << error;
    UseCount = 1;
    SelectTransport(SerialTransport());
  }

 private:
  static void Collect(const char* text, void* self) {
    auto* t = static_cast<LibraryTest*>(self);
    std::lock_guard<std::mutex> g(t->traceLock_);
    t->traces_.emplace_back(text);
  }
  std::mutex traceLock_;
  std::vector<std::string> traces_;
};

}  // namespace testsupport

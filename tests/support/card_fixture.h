// Test support for the card calls: a session on the simulated Scanner whose memory card
// the test fills, a scratch folder for local files, and readers of the card requests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "wire/byte_order.h"
#include "sim/card.h"
#include "tests/support/bytes.h"
#include "tests/support/scanner_session.h"

namespace cardtest {

using testsupport::Bytes;
using testsupport::Pattern;

// A card request message: its command, and the fields of its block (after the header).
struct SentBlock {
  Bytes message;
  uint16_t Type() const { return GetU16(message.data() + 2); }
  size_t Length() const { return message.size() - 10; }
  std::string Path() const { return Text(10); }
  std::string Name() const { return Text(138); }
  uint16_t Word(size_t at) const { return GetU16(message.data() + 10 + 256 + at); }
  uint32_t Word32(size_t at) const { return GetU32(message.data() + 10 + 256 + at); }
  std::string Text(size_t at) const {
    if (message.size() < at + 128) return "<short>";
    const char* p = reinterpret_cast<const char*>(message.data() + at);
    return std::string(p, strnlen(p, 128));
  }
};

// Public, so that the rows of a table may reach the card and the server.
class CardSessionTest : public testsupport::ScannerSessionTest {
 public:
  void SetUp() override {
    ScannerSessionTest::SetUp();
    char pattern[] = "/tmp/kxlib-card-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    Open();
    card().ClearRequests();
    server->ResetStats();
  }
  void TearDown() override {
    ScannerSessionTest::TearDown();
    std::filesystem::remove_all(dir_);
  }

  kxsim::Card& card() { return scanner.card(); }
  std::vector<SentBlock> Sent() {
    std::vector<SentBlock> out;
    for (auto& m : card().Requests()) out.push_back(SentBlock{m});
    return out;
  }
  std::string Local(const std::string& name) const { return dir_ + "/" + name; }
  static Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::string dir_;
};

}  // namespace cardtest

// The savers against the simulated Scanner holding a generated instrument: counts, whole
// downloads over the pseudo-terminal and over USB (clean and faulty lines), single saves
// and their failures. Expected autotests come from the generator's choices (sim/dataset.h); the
// data files are read back with the project's reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "convert/datafile_reader.h"
#include "platform/platform.h"
#include "sim/dataset.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "sim/wire_format.h"
#include "tests/support/downloads_helpers.h"
#include "tests/support/scanner_session.h"

namespace {

using kxsim::Bytes;
using kxsim::GeneratedAutotest;
using testsupport::Expectation;
using testsupport::Expected;
using testsupport::Generated;
using testsupport::Line;
using testsupport::Listed;
using testsupport::OfType;
constexpr uint16_t kCopper = kxsim::kRecCopperAutotest, kFiber = kxsim::kRecFiberAutotest,
                   kCoax = kxsim::kRecCoaxAutotest;

class SaversTest : public testsupport::DownloadsTest {
 public:  // the rows of a table arrange through it
  void SetUp() override {
    DownloadsTest::SetUp();
    KXSetDebugLevel(1);
    if (TheLine() == Line::kUsb) usbDevice_ = folders_.Device("scanner");
  }
  // The line the saves run on: the serial line, unless a test over each line says.
  virtual Line TheLine() const { return Line::kSerial; }
  // A download streams its requests on the serial line, and so never asks for a limit
  // by name; over USB each record is one whole exchange.
  Expectation Downloaded() const {
    return TheLine() == Line::kSerial ? &GeneratedAutotest::streamedItems : &GeneratedAutotest::items;
  }
  void TearDown() override {
    KXSetPumpHook(nullptr, nullptr);
    KXSetMessageBoxHook(nullptr, nullptr);
    KXClose();
    if (server_) server_->Stop();
    platform::SetClockSpeed(1);
    DownloadsTest::TearDown();
  }

  // Serves `set` (answering requests in turn, as the instrument does) and opens a session
  // on it: the serial line at 57600 baud, or USB by serial number. The server shares the
  // library's clock, so a raised clock speed runs both.
  void Serve(const kxsim::Dataset& set) {
    if (server_) server_->Stop();
    KXClose();
    server_.reset();
    scanner_ = std::make_unique<kxsim::Scanner>();
    kxsim::LoadDataset(set, *scanner_);
    kxsim::ServerOptions options;
    options.clock = [] { return platform::TickCount(); };
    options.answerInTurn = true;
    options.seed = 1405;
    std::string name = testsupport::kScannerSerial;
    if (TheLine() == Line::kUsb) {
      server_ = std::make_unique<kxsim::UsbServer>(*scanner_, usbDevice_, options);
    } else {
      auto pty = std::make_unique<kxsim::PtyServer>(*scanner_, options);
      name = pty->ComName();
      server_ = std::move(pty);
    }
    server_->Start();
    // The open runs at the real clock: its few short waits are what a busy machine's
    // scheduling upsets at a raised speed, and the download is what the speed is for.
    const uint32_t speed = platform::ClockSpeed();
    platform::SetClockSpeed(1);
    uint32_t error = 0;
    const int16_t opened = KXOpen(name.c_str(), TheLine() == Line::kUsb ? "USB" : "57600", &error);
    platform::SetClockSpeed(speed);
    ASSERT_EQ(opened, 1) << std::hex << error;
  }

  // The record requests the instrument received for `type`, as (number, key) pairs.
  std::vector<std::pair<uint16_t, int>> Requests(uint16_t type) const {
    std::vector<std::pair<uint16_t, int>> out;
    for (const Bytes& r : server_->Stats().requests) {
      if (r.size() >= 70 && kxsim::GetU16(r, 0) == 14 && kxsim::GetU16(r, 2) == 2 && kxsim::GetU16(r, 10) == type) {
        out.emplace_back(kxsim::GetU16(r, 14), kxsim::GetU16(r, 18) == 1 ? r[20] : -1);
      }
    }
    return out;
  }

  // Serves `set` clean and turns `faults` on once the first request for an autotest of
  // `type` has arrived: the download suffers them, the configuration read before it
  // (whose reads retry, but not without limit) does not.
  void ServeFaultyDownload(const kxsim::Dataset& set, uint16_t type, kxsim::FaultPlan faults) {
    Serve(set);
    OnPump([this, type, faults, armed = false]() mutable {
      if (armed) return;
      const Bytes last = server_->Stats().lastRequest;
      if (last.size() > 11 && kxsim::GetU16(last, 10) == type) {
        server_->SetFaults(faults);
        armed = true;
      }
    });
  }

  // A bad line for the download of `type`: on the serial line, one byte in 1000 damaged
  // each way, with NAKs, withheld acknowledgements, lost and late replies; over USB, empty
  // frames, frames split in two and late replies.
  kxsim::FaultPlan BadLine(uint16_t type, double serialRate = 0.005) const {
    using FaultKind = kxsim::FaultKind;
    const bool usb = TheLine() == Line::kUsb;
    kxsim::FaultPlan noisy;
    for (auto kind : {FaultKind::kCorruptByte, FaultKind::kDropByte, FaultKind::kInsertByte}) {
      if (!usb) noisy.Add(kxsim::FaultAtRate(kind, 1.0 / 3000, kxsim::LineDirection::kBoth));
    }
    for (auto kind : usb ? std::vector{FaultKind::kEmptyFrame, FaultKind::kSplitFrame, FaultKind::kDelayReply}
                         : std::vector{FaultKind::kNakGoodFrame, FaultKind::kWithholdAck, FaultKind::kDropReply,
                                       FaultKind::kDelayReply}) {
      kxsim::FaultRule rule =
          kxsim::FaultWhen(kind, [type](const Bytes& r) { return r.size() > 11 && kxsim::GetU16(r, 10) == type; });
      rule.rate = usb ? 0.05 : serialRate;
      rule.delayMs = usb ? 2500 : 3500;  // serial: past the saver's wait for a reply; USB: within it
      noisy.Add(rule);
    }
    return noisy;
  }

  // The pump hook runs `f` (with the progress counter) while a save waits.
  void OnPump(std::function<void()> f) {
    pump_ = std::move(f);
    KXSetPumpHook([](void* self) { static_cast<SaversTest*>(self)->pump_(); }, this);
  }

  std::unique_ptr<kxsim::Scanner> scanner_;
  std::unique_ptr<kxsim::InstrumentServer> server_;
  testsupport::UsbFolders folders_;
  std::string usbDevice_;
  std::function<void()> pump_;
  kxsim::Dataset set_;
};

// Each type counted and saved whole with the fixed-type exports: the count is the
// generator's, the file holds each autotest's expected items in order, the progress grows
// by one per autotest beyond the steps of a save with none, and only copper reads limits.
// The counts, whole downloads and their early ends run over each line.
using SaversLineTest = testsupport::OverEachLine<SaversTest>;
INSTANTIATE_TEST_SUITE_P(Lines, SaversLineTest, testing::Values(Line::kSerial, Line::kUsb), testsupport::LineName);

TEST_P(SaversLineTest, CountAndSaveEveryStoredAutotestOfEachType) {
  using Counter = int16_t (*)(uint16_t*, uint32_t*);
  using Saver = std::function<int16_t(uint16_t*, const char*, int16_t, uint32_t*)>;
  const Saver coaxSaver = [](uint16_t* p, const char* path, int16_t append, uint32_t* e) {
    return VexaSaveAutotests(kCoax, nullptr, p, path, append, e);
  };
  const struct { uint16_t type; Counter count; Saver save; bool readsLimits; } rows[] = {
      {kCopper, KXCountAutotests, KXSaveAutotests, true},
      {kFiber, KXCountFiberAutotests, KXSaveFiberAutotests, false},
      {kCoax, KXCountCoaxAutotests, coaxSaver, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    uint16_t emptyProgress = 0;
    for (unsigned stored : {0u, 12u}) {
      const kxsim::Dataset set = Generated(row.type == kCopper ? stored : 2, row.type == kFiber ? stored : 2,
                                           row.type == kCoax ? stored : 2, 1405);
      Serve(set);
      uint16_t count = 99;
      uint32_t error = 1;
      EXPECT_EQ(row.count(&count, &error), 1);
      EXPECT_EQ(count, stored);
      EXPECT_EQ(error, 0u);
      EXPECT_EQ(Requests(row.type).back(), std::make_pair(uint16_t{0xFFFF}, -1));

      uint16_t progress = 0;
      ASSERT_EQ(row.save(&progress, "ALL.DAT", 0, &error), 1) << std::hex << error;
      EXPECT_EQ(error, 0u);
      EXPECT_EQ(Held(ReadFile("ALL.DAT")), Listed(Expected(OfType(set, row.type), Downloaded())));
      if (stored == 0) emptyProgress = progress;
      EXPECT_EQ(progress, emptyProgress + stored);
      const auto limit = [](const Bytes& r) {
        return r.size() > 11 && kxsim::GetU16(r, 10) >= kxsim::kRecFirstLimit && kxsim::GetU16(r, 10) <= kxsim::kRecLastLimit;
      };
      EXPECT_EQ(std::ranges::any_of(server_->Stats().requests, limit), row.readsLimits);
      EXPECT_FALSE(std::filesystem::exists("KXLIB.LOG"));  // the log is written only when asked for
    }
  }
}

// Search keys: a pass per key, each from record 0 with the key's low byte; the file holds
// the matching autotests of each pass in turn. The count with a key is the generator's.
TEST_F(SaversTest, EachSearchKeyMakesOnePassFromRecordZero) {
  const kxsim::Dataset set = Generated(10, 1, 1, 77);
  Serve(set);
  const std::vector<GeneratedAutotest> copper = OfType(set, kCopper);
  const int16_t keys[] = {static_cast<int16_t>(0x0100 | copper[3].key[0]), copper[0].key[0], -1};
  std::vector<GeneratedAutotest> wanted;
  for (const int16_t key : {keys[0], keys[1]}) {
    uint16_t count = 0;
    uint32_t error = 0;
    ASSERT_EQ(VexaCountAutotests(kCopper, &count, key, &error), 1);
    const size_t before = wanted.size();
    std::copy_if(copper.begin(), copper.end(), std::back_inserter(wanted),
                 [&](const GeneratedAutotest& a) { return a.key[0] == (key & 0xFF); });
    EXPECT_EQ(count, wanted.size() - before);
  }
  uint16_t progress = 0;
  uint32_t error = 0;
  ASSERT_EQ(VexaSaveAutotests(kCopper, keys, &progress, "KEYS.DAT", 0, &error), 1) << std::hex << error;
  EXPECT_EQ(Held(ReadFile("KEYS.DAT")), Listed(Expected(wanted)));
  auto firsts = Requests(kCopper);
  std::erase_if(firsts, [](const auto& request) { return request.first != 0; });
  EXPECT_EQ(firsts, (std::vector<std::pair<uint16_t, int>>{{0, keys[0] & 0xFF}, {0, keys[1] & 0xFF}}));
}

// Ways a download ends early, each with the file finished: a cancel from the host's pump
// keeps what was converted (the autotest on its way when it came included) and returns 1;
// a third autotest that cannot be converted keeps the first two and returns 0; an
// instrument that fails the read returns 0.
TEST_P(SaversLineTest, ADownloadEndedEarlyKeepsTheAutotestsBeforeIt) {
  const struct {
    const char* what;
    std::function<void(SaversTest&, uint16_t* progress, uint16_t start)> arrange;
    int16_t result; uint32_t error;
    size_t kept, keptAtMost;  // a cancel may come before or after the next autotest arrives
  } rows[] = {
      {"cancel after four",
       [](SaversTest& t, uint16_t* progress, uint16_t start) {
         t.OnPump([progress, start, pressed = false]() mutable {
           // One press, as a host's button gives: pressed again in every pass, it would also
           // fail the record exchange then under way.
           if (*progress == start + 4 && !pressed) pressed = true, KXCancel();
         });
       },
       1, KXERR_CANCELED, 4, 5},
      {"third autotest cut short",
       [](SaversTest& t, uint16_t*, uint16_t) {
         const GeneratedAutotest third = OfType(t.set_, kCopper)[2];
         t.scanner_->PutRecord(kCopper, 2, Bytes(third.stored.begin(), third.stored.begin() + 40), third.key);
       },
       0, KXERR_AUTOTEST_LOAD, 2, 2},
      {"read refused at the fifth",
       [](SaversTest& t, uint16_t*, uint16_t) {
         t.server_->SetFaults(kxsim::FaultPlan{}.Add(kxsim::FaultWhen(
             kxsim::FaultKind::kBadStatus,
             [](const Bytes& r) { return kxsim::GetU16(r, 10) == kCopper && kxsim::GetU16(r, 14) == 5; })));
       },
       0, KXERR_COMM, 5, 5},
  };
  // The progress a save reaches before its first autotest.
  Serve(Generated(0, 0, 0, 31));
  uint16_t start = 0;
  uint32_t error = 0;
  ASSERT_EQ(KXSaveAutotests(&start, "NONE.DAT", 0, &error), 1);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    set_ = Generated(9, 0, 0, 31);
    Serve(set_);
    uint16_t progress = 0;
    row.arrange(*this, &progress, start);
    EXPECT_EQ(KXSaveAutotests(&progress, "PART.DAT", 0, &error), row.result);
    EXPECT_EQ(error, row.error);
    const std::vector<GeneratedAutotest> copper = OfType(set_, kCopper);
    const Bytes file = ReadFile("PART.DAT");
    const size_t kept = ReadBack(file).size();
    EXPECT_TRUE(kept >= row.kept && kept <= row.keptAtMost) << kept;
    EXPECT_EQ(Held(file), Listed(Expected({copper.begin(), copper.begin() + kept}, Downloaded())));
    KXSetPumpHook(nullptr, nullptr);
  }
}

// Single saves, one after the other into one file: a new file gets the header, the record
// at offset 44 and its index entry; the same autotest appended again is a second equal
// record; a record the instrument does not hold leaves the file byte for byte; a fiber
// save after a copper one writes the fiber model's text, as the generator expects; a
// failed save into a replaced file leaves it empty.
TEST_F(SaversTest, SingleSavesAddOneAutotestEach) {
  set_ = Generated(2, 2, 2, 52);
  Serve(set_);
  const auto copper = OfType(set_, kCopper), fiber = OfType(set_, kFiber), coax = OfType(set_, kCoax);
  using Save = int16_t (*)(uint16_t, const char*, int16_t, uint32_t*);
  const struct {
    const char* what; Save save; uint16_t number; int16_t append, result; uint32_t error;
    std::vector<GeneratedAutotest> file;  // the file's records afterwards
  } rows[] = {
      {"copper 0, new file", KXSaveAnAutotest, 0, 0, 1, copper[0].singleError, {copper[0]}},
      {"copper 0 again", KXSaveAnAutotest, 0, 1, 1, copper[0].singleError, {copper[0], copper[0]}},
      {"copper 3 of two", KXSaveAnAutotest, 3, 1, 0, KXERR_COMM, {copper[0], copper[0]}},
      {"fiber 0 after copper", KXSaveAFiberAutotest, 0, 1, 1, fiber[0].singleError, {copper[0], copper[0], fiber[0]}},
      {"coax 0", KXSaveACoaxAutotest, 0, 1, 1, coax[0].singleError, {copper[0], copper[0], fiber[0], coax[0]}},
      {"coax 2 of two, replacing", KXSaveACoaxAutotest, 2, 0, 0, KXERR_COMM, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const Bytes before = ReadFile("ONE.DAT");
    uint32_t error = 0;
    EXPECT_EQ(row.save(row.number, "ONE.DAT", row.append, &error), row.result);
    EXPECT_EQ(error, row.error);
    const Bytes after = ReadFile("ONE.DAT");
    if (row.file.empty()) {
      EXPECT_TRUE(after.empty());
      continue;
    }
    if (row.result == 0) {
      EXPECT_EQ(after, before);
    }
    DatFileView view;
    EXPECT_EQ(Listed(ReadBack(after, &view)), Listed(Expected(row.file, &GeneratedAutotest::singleItems)));
    EXPECT_EQ(view.index.at(0).fileOffset, 44u);
  }
  // A data file that cannot be opened fails the save, and the trace says so.
  uint32_t error = 0;
  EXPECT_EQ(KXSaveAnAutotest(0, "NO/SUCH/ONE.DAT", 0, &error), 0);
  EXPECT_EQ(error, KXERR_READ_ONLY_FILE);
  EXPECT_EQ(CountTrace("Couldn't Prepare Output File "), 1);
}

// A noisy line loses nothing and saves nothing twice: each fault plan's download gives
// the file of the clean download byte for byte. Eleven requests refused (NAK) early on
// show the baud-rate warning once; a reply that comes late, after its request was
// repeated, is answered twice and the second answer is dropped as stale.
TEST_F(SaversTest, ANoisyLineGivesTheFileOfACleanOne) {
  platform::SetClockSpeed(40);
  set_ = Generated(30, 0, 0, 61);
  kxsim::FaultPlan naks, late;
  const auto copper = [](const Bytes& r) { return r.size() > 11 && kxsim::GetU16(r, 10) == kCopper; };
  naks.Add(kxsim::FaultWhen(kxsim::FaultKind::kNakGoodFrame, copper, 11));
  const auto third = [=](const Bytes& r) { return copper(r) && kxsim::GetU16(r, 14) == 3; };
  kxsim::FaultRule delay = kxsim::FaultWhen(kxsim::FaultKind::kDelayReply, third, 1);
  delay.delayMs = 6000;  // past the saver's wait for a reply, twice
  late.Add(delay);
  const struct {
    const char* what; kxsim::FaultPlan plan;
    int warnings;  // -1: any number
    int staleLeast, staleMost;
  } rows[] = {
      {"clean", {}, 0, 0, 0},
      {"eleven requests refused", naks, 1, 0, 99},
      {"one reply late", late, 0, 1, 99},
      {"the bad line, four times as bad", BadLine(kCopper, 0.02), -1, 0, 99},
  };
  int boxes = 0;
  KXSetMessageBoxHook([](const char*, const char*, void* n) { ++*static_cast<int*>(n); }, &boxes);
  Bytes cleanFile;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ServeFaultyDownload(set_, kCopper, row.plan);
    ClearTraces();
    boxes = 0;
    uint16_t progress = 0;
    uint32_t error = 0;
    ASSERT_EQ(KXSaveAutotests(&progress, "NOISY.DAT", 0, &error), 1) << std::hex << error;
    const Bytes file = ReadFile("NOISY.DAT");
    if (cleanFile.empty()) {
      cleanFile = file;
      EXPECT_EQ(Held(file), Listed(Expected(OfType(set_, kCopper))));
    }
    EXPECT_EQ(file, cleanFile);
    if (row.warnings >= 0) {
      EXPECT_EQ(boxes, row.warnings);
    }
    int stale = 0;
    for (const std::string& t : Traces()) stale += t.rfind("VexaSaveAutotests - Stale reply", 0) == 0;
    EXPECT_TRUE(stale >= row.staleLeast && stale <= row.staleMost) << stale;
  }
}

// Five hundred autotests of a type: every one in the file, read back as the generator
// expects; and the same download on a bad line gives the same file byte for byte. (The
// simulator keeps off the line the damaged frames whose CRC still holds, about 1 in 65536,
// which no host can tell from intact ones.)
class FiveHundredTest : public SaversTest {
 public:
  void DownloadCleanAndNoisy(uint16_t type) {
    const kxsim::Dataset set = Generated(type == kCopper ? 500 : 0, type == kFiber ? 500 : 0,
                                         type == kCoax ? 500 : 0, 500);
    Bytes clean;
    for (const kxsim::FaultPlan& plan : {kxsim::FaultPlan{}, BadLine(type)}) {
      platform::SetClockSpeed(40);
      ServeFaultyDownload(set, type, plan);
      uint16_t progress = 0;
      uint32_t error = 0;
      ASSERT_EQ(VexaSaveAutotests(type, nullptr, &progress, "BIG.DAT", 0, &error), 1) << std::hex << error;
      const Bytes file = ReadFile("BIG.DAT");
      if (clean.empty()) {
        clean = file;
        EXPECT_EQ(Held(file), Listed(Expected(OfType(set, type), Downloaded())));
      } else {
        EXPECT_EQ(file, clean);
        const auto fired = server_->Stats().faultsInjected;  // the bad line was bad
        EXPECT_GT(std::accumulate(fired.begin(), fired.end(), uint64_t{0}), 0u);
      }
    }
  }
};

// Copper over USB as well. A fixture of its own rather than a parameter: ctest keeps no
// run times for parameterised names, and the serial download, the suite's longest, must
// start first.
class FiveHundredOverUsbTest : public FiveHundredTest {
 protected:
  Line TheLine() const override { return Line::kUsb; }
};

TEST_F(FiveHundredTest, Copper) { DownloadCleanAndNoisy(kCopper); }
TEST_F(FiveHundredOverUsbTest, Copper) { DownloadCleanAndNoisy(kCopper); }
TEST_F(FiveHundredTest, Fiber) { DownloadCleanAndNoisy(kFiber); }
TEST_F(FiveHundredTest, Coax) { DownloadCleanAndNoisy(kCoax); }

}  // namespace

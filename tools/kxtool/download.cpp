// The download behind kxtool download and kxtool demo.
//
// The library runs the save on this thread and calls back through its hooks:
// - the pump hook, in every pass of its waiting loops: it re-raises a cancel that Ctrl-C
//   asked for (each service clears the cancel flag when it starts, so a cancel that fell
//   between two services would be lost), reads the progress counter the library writes,
//   and redraws the meter;
// - the trace hook (debug level 1): the first "Got Autotest." line marks where the
//   counter stood when the first record arrived, so the autotests done are the counter
//   less that mark (the steps before, reading the instrument's configuration and limits,
//   also advance it); the library's retry lines are counted;
// - the message-box hook: the warning about a noisy line, printed once.
#include "download.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "command.h"
#include "convert/datafile_reader.h"
#include "kxlib32.h"

namespace {

using Clock = std::chrono::steady_clock;

// Trace lines of the library that mean something was asked for or sent again.
constexpr const char* kRetryTraces[] = {
    "VexaSaveAutotests - Missed an ACK",           // a record request not acknowledged
    "VexaSaveAutotests - Missed a Message",        // a record request not answered
    "SendPacket Received a NACK, retrying",        // a packet refused by the instrument
    "WaitPacket - Checksum failure",               // a packet refused by the library
};
constexpr const char* kFirstRecordTrace = "Got Autotest.";

constexpr double kBarRedrawSeconds = 0.1;
constexpr double kLineSeconds = 1.0;
constexpr int kBarWidth = 30;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string MinutesSeconds(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// Autotests done of the total, their rate and the time left: a bar redrawn in place on a
// terminal, else a plain line about once a second when something changed.
class ProgressMeter {
 public:
  ProgressMeter(unsigned total, bool terminal) : total_(total), terminal_(terminal), lastDrawn_(Clock::now()) {}

  void Show(unsigned done) {
    if (done > 0 && !started_) {
      started_ = true;
      firstRecord_ = Clock::now();
    }
    const double since = SecondsSince(lastDrawn_);
    if (terminal_ ? since < kBarRedrawSeconds : (since < kLineSeconds || done == lastDone_)) return;
    lastDrawn_ = Clock::now();
    lastDone_ = done;
    const std::string text = Describe(done);
    if (text == lastText_) return;
    lastText_ = text;
    if (terminal_) {
      const int filled = total_ ? static_cast<int>(kBarWidth * std::min(done, total_) / total_) : 0;
      std::fprintf(stderr, "\r[%s%s] %s\x1b[K", std::string(filled, '#').c_str(),
                   std::string(kBarWidth - filled, '.').c_str(), text.c_str());
      drawn_ = true;
    } else {
      std::fprintf(stderr, "kxtool: %s\n", text.c_str());
    }
  }

  // Takes the bar off the line, so that another line can be printed.
  void Clear() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", stderr);
    drawn_ = false;
    lastText_.clear();  // drawn again at the next turn
  }

 private:
  std::string Describe(unsigned done) const {
    std::string text = std::to_string(done) + "/" + std::to_string(total_) + " autotests";
    const double seconds = started_ ? SecondsSince(firstRecord_) : 0;
    if (done < 2 || seconds <= 0) return text;
    // The first record starts the clock, so the rate counts the ones after it.
    const double rate = (done - 1) / seconds;
    char tail[64];
    std::snprintf(tail, sizeof tail, "  %.1f/s  %s left", rate,
                  MinutesSeconds(done < total_ ? (total_ - done) / rate : 0).c_str());
    return text + tail;
  }

  unsigned total_;
  bool terminal_;
  bool started_ = false;
  bool drawn_ = false;
  unsigned lastDone_ = 0;
  std::string lastText_;
  Clock::time_point firstRecord_{};
  Clock::time_point lastDrawn_{};
};

// What the hooks share with the save that is running.
struct Watch {
  explicit Watch(unsigned total) : meter(total, isatty(STDERR_FILENO) != 0) {}
  uint16_t progress = 0;  // the library's counter
  int mark = -1;          // the counter when the first record arrived
  unsigned retries = 0;
  bool warned = false;
  ProgressMeter meter;

  unsigned Done() const { return mark < 0 ? 0 : static_cast<uint16_t>(progress - mark); }
};

void OnPump(void* context) {
  auto* watch = static_cast<Watch*>(context);
  if (InstrumentSession::Interrupted()) KXCancel();
  watch->meter.Show(watch->Done());
}

void OnTrace(const char* text, void* context) {
  auto* watch = static_cast<Watch*>(context);
  if (watch->mark < 0 && std::strstr(text, kFirstRecordTrace) != nullptr) watch->mark = watch->progress;
  for (const char* retry : kRetryTraces) {
    if (std::strstr(text, retry) != nullptr) ++watch->retries;
  }
}

void OnMessageBox(const char* title, const char* text, void* context) {
  auto* watch = static_cast<Watch*>(context);
  if (watch->warned) return;
  watch->warned = true;
  std::string line = text;
  for (char& c : line) c = c == '\n' ? ' ' : c;
  watch->meter.Clear();
  std::fprintf(stderr, "kxtool: %s: %s\n", title, line.c_str());
}

// The hooks, installed for one save and removed after it.
class Hooks {
 public:
  explicit Hooks(Watch* watch) {
    KXSetDebugLevel(1);
    KXSetTraceHook(OnTrace, watch);
    KXSetPumpHook(OnPump, watch);
    KXSetMessageBoxHook(OnMessageBox, watch);
  }
  ~Hooks() {
    KXSetMessageBoxHook(nullptr, nullptr);
    KXSetPumpHook(nullptr, nullptr);
    KXSetTraceHook(nullptr, nullptr);
    KXSetDebugLevel(0);
  }
  Hooks(const Hooks&) = delete;
  Hooks& operator=(const Hooks&) = delete;
};

}  // namespace

unsigned DataFileRecords(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string problem;
  DatFileView view;
  if (!LoadFileBytes(path.c_str(), &bytes, &problem) || !OpenDatBytes(bytes.data(), bytes.size(), &view, &problem)) {
    return 0;
  }
  return static_cast<unsigned>(view.index.size());
}

bool CountStoredAutotests(DownloadJob* job) {
  job->total = 0;
  const std::vector<int16_t> all = {-1};
  for (int16_t key : job->keys.empty() ? all : job->keys) {
    uint16_t count = 0;
    uint32_t error = 0;
    if (!VexaCountAutotests(job->recordType, &count, key, &error)) {
      ReportLibraryError("cannot count the stored autotests", error);
      return false;
    }
    job->total += count;
  }
  return true;
}

DownloadOutcome DownloadAutotests(const DownloadJob& job) {
  DownloadOutcome outcome;
  const unsigned before = job.append ? DataFileRecords(job.path) : 0;
  const auto start = Clock::now();
  Watch watch(job.total);
  std::vector<int16_t> keys = job.keys;
  keys.push_back(-1);
  {
    Hooks hooks(&watch);
    outcome.saved = VexaSaveAutotests(job.recordType, job.keys.empty() ? nullptr : keys.data(), &watch.progress,
                                      job.path.c_str(), job.append ? 1 : 0, &outcome.error) != 0;
  }
  watch.meter.Clear();
  outcome.seconds = SecondsSince(start);
  outcome.retries = watch.retries;
  outcome.cancelled = outcome.error == KXERR_CANCELED || InstrumentSession::Interrupted();
  // The file tells how many records it gained, whatever the line delivered them through.
  const unsigned after = DataFileRecords(job.path);
  outcome.autotests = after > before ? after - before : 0;
  return outcome;
}

int ReportDownload(const DownloadJob& job, const DownloadOutcome& outcome) {
  std::printf("Saved %u of %u autotests to %s in %.1f s\n", outcome.autotests, job.total, job.path.c_str(),
              outcome.seconds);
  std::fflush(stdout);
  if (outcome.cancelled) {
    std::fprintf(stderr, "kxtool: download cancelled: %s (0x%08X)\n", pxErrorMsg(KXERR_CANCELED), KXERR_CANCELED);
    return kExitCancelled;
  }
  if (!outcome.saved) {
    ReportLibraryError("download failed", outcome.error);
    return kExitFailure;
  }
  // An autotest whose named limit the instrument lacks is saved all the same; the code the
  // save returns is that of the last autotest converted.
  if (outcome.error != 0) {
    ReportLibraryError("the last autotest was saved without a limit curve it names", outcome.error);
  }
  return 0;
}

// kxsim: serves one simulated Scanner on a pseudo-terminal, or with --usb DIR over the
// USB pipes of the device folder DIR (one simulator per folder; a host finds the folders
// through the enumerator module libkxdevapi.so and KXDEVAPI_DEVICES).
//
// The first line on standard output is the port name a host should open (a "COM:"
// name, e.g. COM:/dev/pts/7), or the device folder with --usb; it is flushed at once, so a parent process can read it
// and then open the port. kxsim runs until SIGINT or SIGTERM, or until its standard
// input reaches end-of-file when standard input is a pipe, a socket or a terminal (so
// a parent that holds the pipe can stop it by closing it, and a parent that dies does
// not leave it behind; Ctrl-D at a terminal). Standard input that is /dev/null or a
// file is not watched; --no-stdin turns the watch off.
#include <errno.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "sim/dataset.h"
#include "sim/faults.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "sim/usb_transport.h"
#include "sim/wire_format.h"

namespace {

volatile sig_atomic_t gStop = 0;

void OnSignal(int) { gStop = 1; }

void Usage(FILE* out) {
  std::fprintf(out,
      "usage: kxsim [options]\n"
      "Serves a simulated Scanner on a pseudo-terminal; prints the port name to open\n"
      "(COM:/dev/pts/N) as its first line. Stops on SIGINT/SIGTERM, or when standard\n"
      "input (a pipe, socket or terminal) is closed.\n"
      "\n"
      "      --usb DIR           serve over USB: the pipes PIPE00 and PIPE01 in the device\n"
      "                          folder DIR (made when missing); prints DIR as its first line\n"
      "  -s, --seed N            seed of the fault generator (default 1) and of the\n"
      "                          generated instrument's records (a fixed sample seed\n"
      "                          without it)\n"
      "  -p, --pace              send and take bytes no faster than the line rate\n"
      "      --line-speed-check  pass bytes only while host and instrument rates agree\n"
      "  -d, --reply-delay MS    hold every reply back MS milliseconds\n"
      "  -f, --fault RULE        inject a fault; RULE is KIND=RATE[:ARG], RATE the chance\n"
      "                          per occasion (0..1). KIND is one of\n"
      "                            corrupt, drop, insert    a byte on the line; ARG is the\n"
      "                                                     direction: to-host (default),\n"
      "                                                     from-host or both\n"
      "                            nak, withhold-ack        an intact frame\n"
      "                            delay                    a reply; ARG = milliseconds\n"
      "                            no-reply, wrong-class, wrong-type, wrong-record-type\n"
      "                            bad-status               a reply; ARG = status (default 2)\n"
      "                            duplicate-packet         a reply packet, sent again as\n"
      "                                                     after a lost acknowledgement\n"
      "                            bad-header, empty-frame, split-frame\n"
      "                                                     a USB reply frame: its header\n"
      "                                                     spoilt, an empty frame before\n"
      "                                                     it, or sent in two writes\n"
      "                          e.g. -f corrupt=0.001 -f drop=0.001:both -f delay=0.1:2000\n"
      "                          -f duplicate-packet=0.01\n"
      "      --autotests N       hold N generated copper autotests (default 3)\n"
      "      --fiber N           hold N generated fiber autotests (default 2)\n"
      "      --coax N            hold N generated coax autotests (default 2)\n"
      "      --card-autotests N  hold N generated card autotest files in \\AUTOTEST on\n"
      "                          the sample card, copper and fiber in turn (default 4)\n"
      "      --version TEXT      the instrument's software version (default \"V06.11 KXSIM\");\n"
      "                          from \"V04\" on copper and coax autotests are stored in\n"
      "                          the packed layout, below it in the classic one\n"
      "      --empty             start with an empty record database\n"
      "      --serial TEXT       the instrument's serial number (11 characters)\n"
      "      --free BYTES        free flash space to report\n"
      "      --baud N            the instrument's starting line rate (default 9600)\n"
      "      --card DIR          serve the memory card from the folder DIR (read once;\n"
      "                          deletes change only the simulator's copy); without it\n"
      "                          the card holds a small sample (README.TXT, TESTS ...)\n"
      "                          and the generated card autotest files\n"
      "      --card-status N     the card's status word (default 0, ready; e.g. 1: no card)\n"
      "  -v, --verbose           print each request on standard error\n"
      "      --stats             print link statistics on standard error at exit\n"
      "      --no-stdin          do not stop when standard input closes\n"
      "  -h, --help              this text\n");
}

int BadUsage() {
  Usage(stderr);
  return 2;
}

bool ParseUnsigned(const char* text, unsigned long long max, unsigned long long* value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0' || v > max) return false;
  *value = v;
  return true;
}

bool ParseFault(const char* text, kxsim::FaultRule* rule) {
  const std::string s = text;
  const size_t eq = s.find('=');
  if (eq == std::string::npos) return false;
  kxsim::FaultKind kind;
  if (!kxsim::FaultKindFromName(s.substr(0, eq).c_str(), &kind)) return false;
  std::string rate = s.substr(eq + 1);
  std::string arg;
  if (const size_t colon = rate.find(':'); colon != std::string::npos) {
    arg = rate.substr(colon + 1);
    rate.resize(colon);
  }
  char* end = nullptr;
  const double r = std::strtod(rate.c_str(), &end);
  if (rate.empty() || *end != '\0' || !(r >= 0.0 && r <= 1.0)) return false;
  *rule = kxsim::FaultAtRate(kind, r);
  if (arg.empty()) return true;
  unsigned long long v = 0;
  switch (kind) {
    case kxsim::FaultKind::kCorruptByte:
    case kxsim::FaultKind::kDropByte:
    case kxsim::FaultKind::kInsertByte:
      if (arg == "to-host") rule->direction = kxsim::LineDirection::kToHost;
      else if (arg == "from-host") rule->direction = kxsim::LineDirection::kFromHost;
      else if (arg == "both") rule->direction = kxsim::LineDirection::kBoth;
      else return false;
      return true;
    case kxsim::FaultKind::kDelayReply:
      if (!ParseUnsigned(arg.c_str(), 600000, &v)) return false;
      rule->delayMs = static_cast<uint32_t>(v);
      return true;
    case kxsim::FaultKind::kBadStatus:
      if (!ParseUnsigned(arg.c_str(), 0xFFFF, &v)) return false;
      rule->status = static_cast<uint16_t>(v);
      return true;
    default:
      return false;
  }
}

// Prints each request on stderr, then hands it to the Scanner.
class LoggingInstrument : public kxsim::Instrument {
 public:
  explicit LoggingInstrument(kxsim::Instrument& inner) : inner_(inner) {}
  std::optional<kxsim::Bytes> HandleMessage(const kxsim::Bytes& request) override {
    using namespace kxsim;
    std::fprintf(stderr, "kxsim: request Class %u Type %u, %zu bytes", GetU16(request, kClassOffset),
                 GetU16(request, kTypeOffset), request.size());
    if (request.size() >= kRecordDataOffset) {
      std::fprintf(stderr, ", record type %u number %u", GetU16(request, kRecordTypeOffset),
                   GetU16(request, kRecordNumberOffset));
    }
    std::optional<Bytes> reply = inner_.HandleMessage(request);
    if (reply) {
      std::fprintf(stderr, " -> Status %u, %zu bytes\n", GetU16(*reply, kStatusOffset), reply->size());
    } else {
      std::fprintf(stderr, " -> no reply\n");
    }
    return reply;
  }
  uint32_t LineBaud() const override { return inner_.LineBaud(); }
  void LineBreak() override { inner_.LineBreak(); }
  uint32_t TakeBusyMs() override { return inner_.TakeBusyMs(); }

 private:
  kxsim::Instrument& inner_;
};

void PrintStats(const kxsim::ServerStats& s) {
  std::fprintf(stderr,
               "kxsim: %llu messages, %llu replies sent, %llu abandoned; frames good %llu, "
               "bad CRC %llu, timed out %llu; ACK/NAK sent %llu/%llu, received %llu/%llu; "
               "packet resends %llu\n",
               static_cast<unsigned long long>(s.messagesReceived),
               static_cast<unsigned long long>(s.repliesSent),
               static_cast<unsigned long long>(s.repliesAbandoned),
               static_cast<unsigned long long>(s.framesGood),
               static_cast<unsigned long long>(s.framesBadCrc),
               static_cast<unsigned long long>(s.framesTimedOut),
               static_cast<unsigned long long>(s.acksSent),
               static_cast<unsigned long long>(s.naksSent),
               static_cast<unsigned long long>(s.acksReceived),
               static_cast<unsigned long long>(s.naksReceived),
               static_cast<unsigned long long>(s.packetResends));
  for (size_t k = 0; k < kxsim::kFaultKindCount; ++k) {
    if (s.faultsInjected[k] == 0) continue;
    std::fprintf(stderr, "kxsim: fault %s injected %llu times\n",
                 kxsim::FaultKindName(static_cast<kxsim::FaultKind>(k)),
                 static_cast<unsigned long long>(s.faultsInjected[k]));
  }
}

bool StdinWatched() {
  struct stat st {};
  if (fstat(STDIN_FILENO, &st) != 0) return false;
  return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(STDIN_FILENO);
}

// Everything the command line chooses.
struct Settings {
  kxsim::ServerOptions server;
  kxsim::ScannerOptions scanner;
  kxsim::DatasetOptions dataset;
  bool empty = false;
  bool verbose = false;
  bool stats = false;
  bool watchStdin = true;
  bool haveFree = false;
  std::string cardFolder;
  std::string usbFolder;
  unsigned long long cardStatus = 0;
  unsigned long long freeSpace = 0;
  unsigned long long baud = 9600;
};

// What an option asks for: go on, or end with this exit code.
constexpr int kGoOn = -1;

// The most autotests of one type: the instrument numbers its records in 16 bits, and a
// data file holds at most 8191 records.
constexpr unsigned long long kMaxAutotests = 8191;
// Free flash space left at least after the generated records, unless --free says.
constexpr uint32_t kRoomAfterDataset = 64 * 1024;

enum {
  kOptLineSpeed = 1000, kOptEmpty, kOptSerial, kOptFree, kOptBaud, kOptStats, kOptNoStdin,
  kOptCard, kOptCardStatus, kOptAutotests, kOptFiber, kOptCoax, kOptCardAutotests, kOptVersion, kOptUsb
};

constexpr option kOptions[] = {
    {"seed", required_argument, nullptr, 's'},
    {"pace", no_argument, nullptr, 'p'},
    {"line-speed-check", no_argument, nullptr, kOptLineSpeed},
    {"reply-delay", required_argument, nullptr, 'd'},
    {"fault", required_argument, nullptr, 'f'},
    {"empty", no_argument, nullptr, kOptEmpty},
    {"serial", required_argument, nullptr, kOptSerial},
    {"free", required_argument, nullptr, kOptFree},
    {"baud", required_argument, nullptr, kOptBaud},
    {"verbose", no_argument, nullptr, 'v'},
    {"stats", no_argument, nullptr, kOptStats},
    {"no-stdin", no_argument, nullptr, kOptNoStdin},
    {"card", required_argument, nullptr, kOptCard},
    {"card-status", required_argument, nullptr, kOptCardStatus},
    {"autotests", required_argument, nullptr, kOptAutotests},
    {"fiber", required_argument, nullptr, kOptFiber},
    {"coax", required_argument, nullptr, kOptCoax},
    {"card-autotests", required_argument, nullptr, kOptCardAutotests},
    {"version", required_argument, nullptr, kOptVersion},
    {"usb", required_argument, nullptr, kOptUsb},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

// The options of the link: seed, pace, line-speed check, reply delay, faults.
int LinkOption(int c, const char* arg, kxsim::ServerOptions* server) {
  unsigned long long value = 0;
  switch (c) {
    case 's':
      if (!ParseUnsigned(arg, UINT64_MAX, &value)) return BadUsage();
      server->seed = value;
      return kGoOn;
    case 'p':
      server->pace = true;
      return kGoOn;
    case kOptLineSpeed:
      server->lineSpeedCheck = true;
      return kGoOn;
    case 'd':
      if (!ParseUnsigned(arg, 600000, &value)) return BadUsage();
      server->replyDelayMs = static_cast<uint32_t>(value);
      return kGoOn;
    default: {  // 'f'
      kxsim::FaultRule rule;
      if (!ParseFault(arg, &rule)) {
        std::fprintf(stderr, "kxsim: bad fault '%s'\n", arg);
        return 2;
      }
      server->faults.Add(rule);
      return kGoOn;
    }
  }
}

// The generated records: how many autotests of each type, the software version.
int DatasetOption(int c, const char* arg, kxsim::DatasetOptions* d) {
  unsigned long long value = 0;
  if (c == kOptVersion) {
    if (*arg == '\0' || std::strlen(arg) > 23) return BadUsage();
    d->version = arg;
    return kGoOn;
  }
  if (!ParseUnsigned(arg, kMaxAutotests, &value)) return BadUsage();
  unsigned& count = c == kOptAutotests  ? d->copperAutotests
                    : c == kOptFiber    ? d->fiberAutotests
                    : c == kOptCoax     ? d->coaxAutotests
                                        : d->cardAutotests;
  count = static_cast<unsigned>(value);
  return kGoOn;
}

// The options of the instrument: its records, serial number, free space, rate and card.
int InstrumentOption(int c, const char* arg, Settings* s) {
  switch (c) {
    case kOptEmpty:
      s->empty = true;
      return kGoOn;
    case kOptSerial:
      s->scanner.serialNumber = arg;
      return kGoOn;
    case kOptFree:
      if (!ParseUnsigned(arg, UINT32_MAX, &s->freeSpace)) return BadUsage();
      s->haveFree = true;
      return kGoOn;
    case kOptBaud:
      if (!ParseUnsigned(arg, UINT32_MAX, &s->baud) || kxsim::BaudCode(static_cast<uint32_t>(s->baud)) < 0) {
        return BadUsage();
      }
      return kGoOn;
    case kOptCard:
      s->cardFolder = arg;
      return kGoOn;
    default:  // kOptCardStatus
      if (!ParseUnsigned(arg, 0xFFFF, &s->cardStatus)) return BadUsage();
      return kGoOn;
  }
}

// Reads the command line into `s`; kGoOn, or the exit code to end with.
int ParseOptions(int argc, char** argv, Settings* s) {
  int c;
  while ((c = getopt_long(argc, argv, "s:pd:f:vh", kOptions, nullptr)) != -1) {
    int outcome = kGoOn;
    switch (c) {
      case 's': case 'p': case kOptLineSpeed: case 'd': case 'f':
        outcome = LinkOption(c, optarg, &s->server);
        if (c == 's') s->dataset.seed = s->server.seed;
        break;
      case kOptAutotests: case kOptFiber: case kOptCoax: case kOptCardAutotests: case kOptVersion:
        outcome = DatasetOption(c, optarg, &s->dataset);
        break;
      case kOptEmpty: case kOptSerial: case kOptFree: case kOptBaud: case kOptCard: case kOptCardStatus:
        outcome = InstrumentOption(c, optarg, s);
        break;
      case 'v':
        s->verbose = true;
        break;
      case kOptStats:
        s->stats = true;
        break;
      case kOptNoStdin:
        s->watchStdin = false;
        break;
      case kOptUsb:
        s->usbFolder = optarg;
        break;
      case 'h':
        Usage(stdout);
        return 0;
      default:
        return BadUsage();
    }
    if (outcome != kGoOn) return outcome;
  }
  return optind == argc ? kGoOn : BadUsage();
}

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

// Fills the Scanner as the settings say; false (after saying why) when the card folder
// cannot be read.
bool PrepareScanner(const Settings& s, kxsim::Scanner& scanner) {
  // The card first: the generated card autotest files join the sample card, while a
  // folder given by the user is served as it is, with nothing added.
  kxsim::DatasetOptions dataset = s.dataset;
  if (s.cardFolder.empty()) {
    scanner.card().LoadSample();
  } else if (std::string problem; !scanner.card().LoadFolder(s.cardFolder, &problem)) {
    std::fprintf(stderr, "kxsim: %s\n", problem.c_str());
    return false;
  } else {
    dataset.cardAutotests = 0;
  }
  if (!s.empty) kxsim::LoadDataset(kxsim::GenerateDataset(dataset), scanner);
  scanner.card().SetStatusWord(static_cast<uint16_t>(s.cardStatus));
  if (s.haveFree) {
    scanner.SetFreeSpace(static_cast<uint32_t>(s.freeSpace));
  } else if (scanner.FreeSpace() < kRoomAfterDataset) {
    scanner.SetFreeSpace(kRoomAfterDataset);  // many generated autotests: a larger flash
  }
  scanner.SetLineBaud(static_cast<uint32_t>(s.baud));
  return true;
}

// Sleeps until a signal comes or the watched standard input reaches its end.
void WaitForStop(bool watchStdin) {
  while (!gStop) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&fd, watchStdin ? 1 : 0, 100);
    if (ready > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR))) {
      char buf[256];
      const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
    }
  }
}

// Serves the Scanner until told to stop; the exit code.
int Serve(Settings& s) {
  kxsim::Scanner scanner(s.scanner);
  if (!PrepareScanner(s, scanner)) return 1;
  LoggingInstrument logging(scanner);
  kxsim::Instrument& model = s.verbose ? static_cast<kxsim::Instrument&>(logging) : scanner;

  // Requests that arrive while a reply is on the line are answered in turn, as the
  // instrument does: a download that streams its requests gets every reply.
  s.server.answerInTurn = true;
  std::unique_ptr<kxsim::InstrumentServer> server;
  std::string name;
  if (s.usbFolder.empty()) {
    auto pty = std::make_unique<kxsim::PtyServer>(model, std::move(s.server));
    name = pty->ComName();
    server = std::move(pty);
  } else {
    auto usb = std::make_unique<kxsim::UsbServer>(model, s.usbFolder, std::move(s.server));
    name = usb->DevicePath();
    server = std::move(usb);
  }
  server->Start();
  std::printf("%s\n", name.c_str());
  std::fflush(stdout);
  WaitForStop(s.watchStdin && StdinWatched());
  server->Stop();
  if (s.stats) PrintStats(server->Stats());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (const int outcome = ParseOptions(argc, argv, &settings); outcome != kGoOn) return outcome;
  InstallSignalHandlers();
  try {
    return Serve(settings);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kxsim: %s\n", e.what());
    return 1;
  }
}

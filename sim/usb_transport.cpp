#include "sim/usb_transport.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "sim/wire_format.h"

namespace kxsim {
namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kSplitAt = 3;          // bytes of the first write of a split frame
constexpr size_t kReadChunk = 16384;
constexpr size_t kRequestsKept = 256;
// While writes wait (for their time or for the host to read the last one), a pass every
// millisecond; when idle only the host's bytes can change anything, and poll() wakes
// for those.
constexpr int kBusyWaitMs = 1;
constexpr int kIdleWaitMs = 20;

Bytes Frame(const Bytes& message) {
  Bytes frame(kHeaderSize + message.size(), 0);
  PutU16(frame, 0, static_cast<uint16_t>(~message.size()));
  PutU16(frame, 2, static_cast<uint16_t>(message.size()));
  if (!message.empty()) std::memcpy(frame.data() + kHeaderSize, message.data(), message.size());
  return frame;
}

// Makes `path` a FIFO unless it is one; true when this call made it.
bool MakeFifo(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISFIFO(st.st_mode)) return false;
    throw std::runtime_error(path + " exists and is not a FIFO");
  }
  if (mkfifo(path.c_str(), 0666) != 0) throw std::runtime_error("cannot make the FIFO " + path);
  return true;
}

int OpenFifo(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  return fd;
}

bool Due(uint32_t nowMs, uint32_t dueMs) { return static_cast<int32_t>(nowMs - dueMs) >= 0; }

}  // namespace

UsbTransport::UsbTransport(Instrument& model, std::string folder, FaultInjector* faults)
    : model_(model), faults_(faults), folder_(std::move(folder)) {
  if (mkdir(folder_.c_str(), 0777) == 0) {
    madeFolder_ = true;
  } else if (errno != EEXIST) {
    throw std::runtime_error("cannot make the device folder " + folder_);
  }
  MakeFifo(folder_ + "/PIPE00");
  MakeFifo(folder_ + "/PIPE01");
  fromHost_ = OpenFifo(folder_ + "/PIPE00");
  toHost_ = OpenFifo(folder_ + "/PIPE01");
}

// The FIFOs go with the transport: a folder left behind has no reader, and a host's open
// of its out pipe fails, as with an instrument unplugged.
UsbTransport::~UsbTransport() {
  close(fromHost_);
  close(toHost_);
  unlink((folder_ + "/PIPE00").c_str());
  unlink((folder_ + "/PIPE01").c_str());
  if (madeFolder_) rmdir(folder_.c_str());
}

ServerStats UsbTransport::Stats() const {
  ServerStats s;
  static_cast<WireStats&>(s) = stats_;
  if (faults_) s.faultsInjected = faults_->Fired();
  return s;
}

void UsbTransport::ResetStats() { stats_ = WireStats{}; }

TransportWait UsbTransport::Plan(uint32_t) {
  TransportWait wait;
  wait.Add(fromHost_, POLLIN);
  wait.waitMs = output_.empty() ? kIdleWaitMs : kBusyWaitMs;
  return wait;
}

void UsbTransport::Serve(const TransportWait& ready, uint32_t nowMs) {
  if (ready.count > 0 && (ready.fds[0].revents & POLLIN)) {
    ServeInput();
    TakeFrames(nowMs);
  }
  ServeOutput(nowMs);
}

void UsbTransport::ServeInput() {
  uint8_t chunk[kReadChunk];
  const ssize_t n = read(fromHost_, chunk, sizeof chunk);
  if (n <= 0) return;
  stats_.bytesIn += static_cast<uint64_t>(n);
  input_.insert(input_.end(), chunk, chunk + n);
}

void UsbTransport::TakeFrames(uint32_t nowMs) {
  size_t at = 0;
  while (input_.size() - at >= kHeaderSize) {
    const uint16_t length = GetU16(input_, at + 2);
    if (GetU16(input_, at) != static_cast<uint16_t>(~length)) {
      ++stats_.skippedBytes;
      ++at;
      continue;
    }
    if (input_.size() - at < kHeaderSize + length) break;
    const Bytes request(input_.begin() + static_cast<long>(at + kHeaderSize),
                        input_.begin() + static_cast<long>(at + kHeaderSize + length));
    at += kHeaderSize + length;
    if (length > 0) Answer(request, nowMs);
  }
  input_.erase(input_.begin(), input_.begin() + static_cast<long>(at));
}

void UsbTransport::Answer(const Bytes& request, uint32_t nowMs) {
  ++stats_.messagesReceived;
  stats_.lastRequest = request;
  if (stats_.requests.size() >= kRequestsKept) stats_.requests.erase(stats_.requests.begin());
  stats_.requests.push_back(request);
  std::optional<Bytes> reply = model_.HandleMessage(request);
  const uint32_t busyMs = model_.TakeBusyMs();
  if (!reply) {
    ++stats_.notifies;
    return;
  }
  QueueReply(request, Frame(*reply), nowMs + busyMs);
}

void UsbTransport::QueueReply(const Bytes& request, Bytes frame, uint32_t dueMs) {
  const auto fires = [&](FaultKind kind) { return faults_ != nullptr && faults_->Fire(kind, &request) != nullptr; };
  if (fires(FaultKind::kEmptyFrame)) output_.push_back({Frame({}), dueMs});
  if (fires(FaultKind::kBadFrameHeader)) frame[0] ^= 0x01;
  if (fires(FaultKind::kSplitFrame)) {
    output_.push_back({Bytes(frame.begin(), frame.begin() + kSplitAt), dueMs});
    frame.erase(frame.begin(), frame.begin() + kSplitAt);
  }
  output_.push_back({std::move(frame), dueMs});
  ++stats_.repliesSent;
}

bool UsbTransport::HostHasReadAll() const {
  int waiting = 0;
  return ioctl(toHost_, FIONREAD, &waiting) == 0 && waiting == 0;
}

// One write per pass at most, and only into an empty pipe. A write the pipe cannot take
// whole leaves its rest for the next one.
void UsbTransport::ServeOutput(uint32_t nowMs) {
  if (output_.empty() || !Due(nowMs, output_.front().dueMs) || !HostHasReadAll()) return;
  Bytes& bytes = output_.front().bytes;
  const ssize_t n = write(toHost_, bytes.data(), bytes.size());
  if (n <= 0) return;
  stats_.bytesOut += static_cast<uint64_t>(n);
  bytes.erase(bytes.begin(), bytes.begin() + n);
  if (bytes.empty()) output_.pop_front();
}

UsbServer::UsbServer(Instrument& model, std::string folder, ServerOptions options)
    : InstrumentServer(model, options, transport_),
      transport_(Faulty(), std::move(folder), &Faulty().Injector()) {}

UsbServer::~UsbServer() { Stop(); }

}  // namespace kxsim

// The Scanner's commands (Class 7): data IDs and scripted commands.
#include <utility>

#include "sim/scanner.h"
#include "sim/wire_format.h"

namespace kxsim {
namespace {

constexpr uint16_t kCmdGetDataId = 34;
constexpr uint16_t kCmdSetDataId = 35;
constexpr size_t kValueTrailer = 13;  // bytes after a data ID's value in a get reply

// A reply with the request's Class and Type, `status`, and `payload`.
Bytes CommandReply(const Bytes& request, uint16_t status, const Bytes& payload = {}) {
  Bytes reply;
  reply.reserve(kMessageHeaderSize + payload.size());
  reply.resize(kMessageHeaderSize);
  PutU16(reply, kClassOffset, GetU16(request, kClassOffset));
  PutU16(reply, kTypeOffset, GetU16(request, kTypeOffset));
  PutU16(reply, kStatusOffset, status);
  reply.insert(reply.end(), payload.begin(), payload.end());
  return reply;
}

}  // namespace

void Scanner::SetDataId(uint16_t id, Bytes value) {
  std::lock_guard<std::mutex> lock(mutex_);
  dataIds_[id] = std::move(value);
}

std::optional<Bytes> Scanner::GetDataId(uint16_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = dataIds_.find(id);
  if (it == dataIds_.end()) return std::nullopt;
  return it->second;
}

void Scanner::SetCommand(uint16_t type, CommandScript script) {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_[type] = std::move(script);
}

// Called with mutex_ held.
std::optional<Bytes> Scanner::HandleCommand(const Bytes& request) {
  const uint16_t type = GetU16(request, kTypeOffset);
  const size_t payload = request.size() - kMessageHeaderSize;
  if (type == kCmdGetDataId || type == kCmdSetDataId) {
    if (payload < 2) return CommandReply(request, kStatusBadRequest);
    const uint16_t id = GetU16(request, kMessageHeaderSize);
    if (type == kCmdSetDataId) {
      dataIds_[id] = Bytes(request.begin() + kMessageHeaderSize + 2, request.end());
      return CommandReply(request, kStatusOk);
    }
    auto it = dataIds_.find(id);
    if (it == dataIds_.end()) return CommandReply(request, kStatusBadRequest);
    Bytes body(request.begin() + kMessageHeaderSize, request.begin() + kMessageHeaderSize + 2);
    body.insert(body.end(), it->second.begin(), it->second.end());
    body.insert(body.end(), kValueTrailer, 0);
    return CommandReply(request, kStatusOk, body);
  }
  auto it = commands_.find(type);
  if (it != commands_.end()) return it->second(request);
  return CommandReply(request, kStatusUnsupported);
}

}  // namespace kxsim

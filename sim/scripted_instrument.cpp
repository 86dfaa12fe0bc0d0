#include "sim/scripted_instrument.h"

#include "sim/wire_format.h"

namespace kxsim {

ScriptedInstrument::ScriptedInstrument() : handler_(&ScriptedInstrument::Echo) {}

ScriptedInstrument::ScriptedInstrument(Handler handler) : handler_(std::move(handler)) {}

void ScriptedInstrument::SetHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

void ScriptedInstrument::SetLineBaud(uint32_t baud) {
  std::lock_guard<std::mutex> lock(mutex_);
  baud_ = baud;
}

uint32_t ScriptedInstrument::LineBaud() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return baud_;
}

std::optional<Bytes> ScriptedInstrument::HandleMessage(const Bytes& request) {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    handler = handler_;
  }
  // Called without the lock, so a handler may use the instrument itself.
  return handler ? handler(request) : std::nullopt;
}

std::vector<Bytes> ScriptedInstrument::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t ScriptedInstrument::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

std::optional<Bytes> ScriptedInstrument::Echo(const Bytes& request) {
  Bytes reply = request;
  PutU16(reply, kStatusOffset, kStatusOk);
  return reply;
}

}  // namespace kxsim

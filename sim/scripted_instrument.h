// A model for link tests: every request goes to a function the test sets. By default
// the request comes back as its own reply with Status 1 (OK).
#pragma once

#include <functional>
#include <mutex>
#include <optional>

#include "sim/instrument.h"

namespace kxsim {

class ScriptedInstrument : public Instrument {
 public:
  using Handler = std::function<std::optional<Bytes>(const Bytes& request)>;

  ScriptedInstrument();
  explicit ScriptedInstrument(Handler handler);

  // May be called while a server runs the model on its own thread.
  void SetHandler(Handler handler);
  void SetLineBaud(uint32_t baud);

  std::optional<Bytes> HandleMessage(const Bytes& request) override;
  uint32_t LineBaud() const override;

  // Every request handled so far, oldest first.
  std::vector<Bytes> Requests() const;
  size_t RequestCount() const;

  // The default handler: the request with Status set to 1.
  static std::optional<Bytes> Echo(const Bytes& request);

 private:
  mutable std::mutex mutex_;
  Handler handler_;
  uint32_t baud_ = 9600;
  std::vector<Bytes> requests_;
};

}  // namespace kxsim

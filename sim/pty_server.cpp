#include "sim/pty_server.h"

#include <mutex>

namespace kxsim {

PtyServer::PtyServer(Instrument& model, ServerOptions options)
    : InstrumentServer(model, options, transport_),
      transport_(Faulty(), options.timings, options.pace, options.lineSpeedCheck, &Faulty().Injector(),
                 options.answerInTurn) {}

PtyServer::~PtyServer() { Stop(); }

void PtyServer::Start() {
  if (Running()) return;
  {
    std::lock_guard<std::mutex> lock(Mutex());
    transport_.ReadHostSpeed();
  }
  InstrumentServer::Start();
}

void PtyServer::SetPace(bool on) {
  std::lock_guard<std::mutex> lock(Mutex());
  transport_.SetPace(on);
}

}  // namespace kxsim

#pragma once

// The Ethernet side of a simulated instrument: a TCP listener that speaks the
// instrument's command protocol (identifier first, then the command's
// payload; replies as optional data frames, a zero flag byte and an 8191-byte
// reply) and hands every command to an InstrumentModel.
//
// Typical use in a test:
//   vesk::sim::InstrumentModel model(options);
//   vesk::sim::EthernetInstrument instrument(model);
//   ASSERT_TRUE(instrument.Start("127.0.0.1", 0));   // 0: any free port
//   bus.Port = instrument.Port();
//   ... run the updater against it, then inspect model.Commands() ...
//   instrument.Stop();   // also done by the destructor
//
// The listener and every connection run on one thread of the instrument's
// own; several connections may be open at once (a reconnect while the old
// connection is still closing).

#include <cstdint>
#include <memory>
#include <string>

#include "sim/instrument_model.h"

namespace vesk::sim {

class EthernetInstrument {
 public:
  explicit EthernetInstrument(InstrumentModel& model);
  ~EthernetInstrument();
  EthernetInstrument(const EthernetInstrument&) = delete;
  EthernetInstrument& operator=(const EthernetInstrument&) = delete;

  // Listens on `address` (dotted IPv4 or IPv6 text) and `port` (0: a free
  // port chosen by the system) and starts serving. False, with the reason in
  // `why`, when the address cannot be used.
  bool Start(const std::string& address, uint16_t port, std::string* why = nullptr);

  // The port actually listened on.
  uint16_t Port() const;

  // Stops listening, drops every connection and joins the thread.
  void Stop();

 private:
  struct Server;
  InstrumentModel& model_;
  std::unique_ptr<Server> server_;
};

}  // namespace vesk::sim

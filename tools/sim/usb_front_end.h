#pragma once

// The USB side of a simulated instrument: its FX3 controller (descriptors,
// the class and vendor requests of the packet exchange, fast-mode packets,
// the controller image download) in front of the same InstrumentModel that
// the Ethernet front end drives. Each 200-byte request packet is mapped onto
// the model's command of the same meaning, so the model records MCU regions,
// the FPGA image and the GNSS body alike for both links.
//
// Typical use in a test (in memory) or the simulator (on umockdev):
//   vesk::sim::InstrumentModel model(options);
//   vesk::sim::UsbInstrument instrument(model);
//   host.Add({1, 4, 0x04B4, 0x00F0}, instrument.Controller());

#include <cstdint>
#include <vector>

#include "sim/fx3_instrument.h"
#include "sim/instruction_responder.h"
#include "sim/instrument_model.h"

namespace vesk::sim {

// The instrument's MCU as the FX3 controller hands it request packets.
class ModelResponder : public InstructionResponder {
 public:
  explicit ModelResponder(InstrumentModel& model) : model_(model) {}

  std::vector<uint8_t> Answer(const InstructionRequest& request) override;
  std::optional<std::vector<uint8_t>> Unprompted() override;
  bool Reachable() override;
  bool LastUnanswered() const override { return unanswered_; }

 private:
  // Hands one command to the model; the reply bytes it answers with, or
  // none when it stays silent or drops the link.
  std::optional<std::vector<uint8_t>> Command(int32_t id, std::vector<uint8_t> payload,
                                              bool& accepted);
  // A 100-byte reply whose first byte acknowledges (6) or refuses.
  std::vector<uint8_t> Acknowledge(int32_t id, std::vector<uint8_t> payload);
  std::vector<uint8_t> FlashBlock(const InstructionRequest& request);

  InstrumentModel& model_;
  // The data of a 0xFE packet until its 0xFF end packet arrives.
  std::optional<std::vector<uint8_t>> pendingData_;
  // The sequence of the last flash block: an erase request looks like a
  // block with sequence 0, which otherwise only follows sequence 255.
  std::optional<uint8_t> lastSequence_;
  bool unanswered_ = false;
};

class UsbInstrument {
 public:
  // The controller reports the model's controller version; `options` give
  // its USB identity and speed.
  explicit UsbInstrument(InstrumentModel& model, Fx3Options options = {});
  UsbInstrument(const UsbInstrument&) = delete;
  UsbInstrument& operator=(const UsbInstrument&) = delete;

  Fx3Instrument& Controller() { return controller_; }

 private:
  ModelResponder responder_;
  Fx3Instrument controller_;
};

}  // namespace vesk::sim

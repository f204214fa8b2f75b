#pragma once

#include "bus/bus.h"
#include "support/recording_platform.h"
#include "usb/fake_usb_host.h"
#include "sim/fx3_instrument.h"
#include "usb/instruction_responder.h"

namespace vesk::test {

// One FX3 instrument on an in-memory host that stands in for the process's
// USB host, and a Bus of a recording platform ready to open it.
struct FakeUsbInstrument {
  explicit FakeUsbInstrument(sim::Fx3Options options = {}) : fx3(model, options) {
    host.Add({1, 4, options.VendorId, options.ProductId}, fx3);
  }

  MinimalInstrument model;
  sim::Fx3Instrument fx3;
  FakeUsbHost host;
  ScopedUsbHost scope{host};
  RecordingPlatform platform;
  Bus bus{platform};
};

}  // namespace vesk::test

// The controller image can only be written over USB. When the writer finds
// no USB instrument and its Ethernet fallback reaches one at 192.168.1.100,
// it must say that nothing was written, and the update must fail.

#include <gtest/gtest.h>

#include "catalog/firmware_version.h"
#include "sim/ethernet_front_end.h"
#include "sim/instrument_model.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "update/controller/controller_update.h"
#include "usb/fake_usb_host.h"

namespace vesk {
namespace {

TEST(ControllerWriterOverEthernet, WritesNothingAndReportsFailure) {
  test::FakeUsbHost noUsbInstruments;
  ScopedUsbHost scope(noUsbInstruments);
  sim::InstrumentModel model;
  sim::EthernetInstrument instrument(model);
  std::string why;
  ASSERT_TRUE(instrument.Start("192.168.1.100", 5000, &why)) << why;
  test::TempFolder folder;
  const std::string image = folder.Write("data/Firmware/vesk_0.55.70.img", std::string("CY\x1C\xB2", 4));
  test::RecordingPlatform platform(folder.Path());

  EXPECT_NE(WriteControllerImage(platform, 0, image), kResultOk);
  // The Ethernet link was opened and closed again; nothing else was sent.
  EXPECT_EQ(model.CommandIds(), (std::vector<int32_t>{1, 2}));

  // The whole controller step, with the program's link on the VIRTUAL kind
  // replaced by an Ethernet instrument that reports a controller to update.
  sim::InstrumentOptions options;
  options.Ident.ControllerVersion = PackVersion(0, 55, 10);
  model.SetOptions(options);
  Bus programBus(platform);
  programBus.Interface = BusInterface::ETH;
  programBus.IpAddress = {192, 168, 1, 100};
  programBus.Port = 5000;
  programBus.NetTimeoutMs = 10000;
  EXPECT_EQ(UpdateControllerFirmware(programBus, ControllerUpdateSettings{}),
            kResultControllerUpdateFailed);
  const std::string out = platform.OutText();
  EXPECT_EQ(out.find("Update completed successfully!"), std::string::npos) << out;
  EXPECT_EQ(out.find("FX3 driver has been updated"), std::string::npos) << out;
}

}  // namespace
}  // namespace vesk

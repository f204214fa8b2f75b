#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/instructions.h"
#include "sim/ethernet_front_end.h"
#include "support/private_network.h"
#include "support/recording_platform.h"

namespace vesk {
namespace {

// The component procedures always dial the instrument at 192.168.1.100 port
// 5000 with a 10 s timeout; inside a private network the simulator plays it.
TEST(FixedInstrumentAddress, SimulatorOnTheInstrumentAddressAnswersAProcedureBus) {
  ASSERT_TRUE(test::InPrivateNetworkNamespace());
  sim::InstrumentOptions options;
  options.Ident.ModelCode = 53;
  sim::InstrumentModel model(options);
  sim::EthernetInstrument instrument(model);
  std::string why;
  ASSERT_TRUE(instrument.Start(test::kInstrumentAddress, 5000, &why)) << why;

  test::RecordingPlatform platform;
  Bus bus(platform);
  bus.Interface = BusInterface::ETH;
  bus.IpAddress = {192, 168, 1, 100};
  bus.Port = 5000;
  bus.NetTimeoutMs = 10000;
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  DeviceInfo info;
  ASSERT_EQ(ReadDeviceInfo(bus, info), kResultOk);
  EXPECT_EQ(info.ModelCode, 53);
  EXPECT_EQ(CloseBus(bus), kResultOk);
  EXPECT_EQ(model.CommandIds(), (std::vector<int32_t>{1, 5, 2}));
}

}  // namespace
}  // namespace vesk

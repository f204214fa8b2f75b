#include "update/procedure_link.h"

#include <algorithm>
#include <iterator>

namespace vesk {

namespace {

constexpr uint8_t kInstrumentAddress[4] = {192, 168, 1, 100};
constexpr uint16_t kInstrumentPort = 5000;
constexpr int32_t kInstrumentTimeoutMs = 10000;

}  // namespace

ResultCode OpenProcedureBus(Bus& bus, int32_t deviceIndex) {
  bus.Interface = BusInterface::USB;
  if (OpenBus(bus, deviceIndex) == kResultOk) return kResultOk;
  CloseBus(bus);
  bus.Interface = BusInterface::ETH;
  bus.IsIpv6 = 0;
  bus.IpAddress = {};
  std::copy(std::begin(kInstrumentAddress), std::end(kInstrumentAddress), bus.IpAddress.begin());
  bus.Port = kInstrumentPort;
  bus.NetTimeoutMs = kInstrumentTimeoutMs;
  if (OpenBus(bus, deviceIndex) == kResultOk) return kResultOk;
  CloseBus(bus);
  return kResultNoLink;
}

}  // namespace vesk

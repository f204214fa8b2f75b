#include "bus/bus.h"

#include <ostream>

#include "bus/link_forms.h"

namespace vesk {

Bus::Bus(Platform& platform) : Host(platform) {}

Bus::~Bus() = default;

ResultCode OpenBus(Bus& bus, int32_t deviceIndex) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbOpen(bus, deviceIndex);
    case BusInterface::ETH: {
      ResultCode result = EthOpen(bus);
      if (result == kResultOk || result == kResultEthConnectFailed ||
          result == kResultEthReplyTimeout || result == kResultEthLinkLoop) {
        return result;
      }
      return kResultNoLink;
    }
    case BusInterface::VIRTUAL:
      return kResultOk;  // the walk-through link has nothing to open
    default:
      return kResultNoLink;  // QSFP, HLVDS and unknown kinds never open
  }
}

ResultCode CloseBus(Bus& bus) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbClose(bus);
    case BusInterface::ETH:
      return EthClose(bus);
    case BusInterface::VIRTUAL:
      bus.Host.Out() << "Virtual bus is closed!\n";
      return kResultOk;
    default:
      return kResultNoLink;
  }
}

ResultCode OpenBusWithEthernetFallback(Bus& bus, int32_t deviceIndex) {
  if (OpenBus(bus, deviceIndex) == kResultOk) return kResultOk;
  CloseBus(bus);
  if (bus.Interface == BusInterface::USB) {
    bus.Interface = BusInterface::ETH;
  } else if (bus.Interface != BusInterface::ETH) {
    return kResultNoLink;
  }
  if (OpenBus(bus, deviceIndex) == kResultOk) return kResultOk;
  CloseBus(bus);
  return kResultNoLink;
}

}  // namespace vesk

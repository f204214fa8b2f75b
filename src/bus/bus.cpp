#include "bus/bus.h"

#include <ostream>

namespace vesk {

Bus::Bus(Platform& platform) : Host(platform) {}

Bus::~Bus() = default;

ResultCode OpenBus(Bus& bus, int32_t /*deviceIndex*/) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      return kResultOk;  // nothing to open: the walk-through link
    case BusInterface::USB:
      // No USB host layer is built into this program yet: no instrument can
      // be found, which is what a machine without USB support reports.
      return kResultNoLink;
    case BusInterface::ETH:
      // The Ethernet transport is not built into this program yet.
      return kResultNoLink;
    default:
      return kResultNoLink;  // QSFP, HLVDS and unknown kinds never open
  }
}

ResultCode CloseBus(Bus& bus) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      bus.Host.Out() << "Virtual bus is closed!\n" << std::flush;
      return kResultOk;
    case BusInterface::USB:
      return kResultOk;  // no device is ever held without the USB host layer
    case BusInterface::ETH:
      return kResultNoLink;  // nothing was connected without the transport
    default:
      return kResultNoLink;
  }
}

}  // namespace vesk

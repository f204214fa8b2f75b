#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "bus/bus_interface.h"
#include "common/platform.h"
#include "common/result_code.h"

namespace vesk {

class EthernetLink;  // the TCP connection and its framing state (src/net)
class CCyDevice;     // the USB device (src/usb)

// Owners defined beside the code that creates these objects.
struct EthernetLinkDeleter {
  void operator()(EthernetLink* link) const;
};
struct CCyDeviceDeleter {
  void operator()(CCyDevice* device) const;
};

// The link to one instrument. The program keeps one for its whole run; every
// component procedure and the controller writer make their own. Users set
// Interface and the link parameters, then OpenBus; CloseBus before retrying.
class Bus {
 public:
  explicit Bus(Platform& platform);
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  BusInterface Interface = BusInterface::USB;

  // USB controller state, read when a USB link opens.
  uint32_t ControllerVersion = 0;
  int32_t FastTransfer = 0;  // 1: 1024-byte packets on slots 3/4; else control requests
  int32_t ControllerInfo = 0;
  uint32_t ReplyTimeoutMs = 0;  // applied to the USB reply endpoint by the instructions

  // Network parameters; only the ETH link reads them.
  int32_t IsIpv6 = 0;
  std::array<uint8_t, 16> IpAddress{};  // IPv4 in the first 4 bytes, network order
  uint16_t Port = 0;
  int32_t NetTimeoutMs = 0;

  // The Ethernet connection state, created at the first ETH open and kept
  // for the Bus's life.
  std::unique_ptr<EthernetLink, EthernetLinkDeleter> Ethernet;

  // The open USB device, owned from a USB open until CloseBus.
  std::unique_ptr<CCyDevice, CCyDeviceDeleter> Device;

  // The console, waits and paths of the program that owns this link.
  Platform& Host;
};

// Opens the link named by bus.Interface. deviceIndex selects the USB device
// and is ignored by the other links. 0 when the link is open.
ResultCode OpenBus(Bus& bus, int32_t deviceIndex);

// Closes the link named by bus.Interface.
ResultCode CloseBus(Bus& bus);

// Opens the link; when a USB or Ethernet open fails, closes it and tries
// Ethernet (with the address, port and timeout the Bus holds) once more, so
// that bus.Interface may end up ETH. Other link kinds get no second try.
// 0 when a link is open, else -1 with the link closed.
ResultCode OpenBusWithEthernetFallback(Bus& bus, int32_t deviceIndex);

}  // namespace vesk

#include "sim/usb_peer.h"

#include <algorithm>

namespace vesk::sim {

namespace {

constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kGetInterface = 0x0A;

}  // namespace

PeerAnswer DescriptorPeer::Control(const UsbSetupPacket& setup, std::vector<uint8_t>& data) {
  if (setup.RequestType == 0x80 && setup.Request == kGetDescriptor) {
    uint8_t type = static_cast<uint8_t>(setup.Value >> 8);
    const std::vector<uint8_t>* source = nullptr;
    if (type == 1) source = &device_;
    if (type == 2 && (setup.Value & 0xFF) == 0) source = &configuration_;
    if (source == nullptr) return PeerAnswer::Stall;
    data.assign(source->begin(),
                source->begin() + std::min<size_t>(source->size(), setup.Length));
    return PeerAnswer::Done;
  }
  if (setup.RequestType == 0x81 && setup.Request == kGetInterface) {
    if (AlternateSetting < 0) return PeerAnswer::Stall;
    data.assign(1, static_cast<uint8_t>(AlternateSetting));
    return PeerAnswer::Done;
  }
  return PeerAnswer::Stall;
}

}  // namespace vesk::sim

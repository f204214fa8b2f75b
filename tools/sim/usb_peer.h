#pragma once

#include <cstdint>
#include <vector>

#include "usb/usb_host.h"

namespace vesk::sim {

// How an emulated device answers one transfer.
enum class PeerAnswer {
  Done,    // finished; for device-to-host transfers with the bytes given
  Stall,   // the device stalls the pipe
  Silent,  // no answer: the transfer stays pending until it is cancelled
};

// The device side of an emulated USB device. Hosts in memory and the
// umockdev usbfs handler both drive one of these.
class UsbPeer {
 public:
  virtual ~UsbPeer() = default;

  // A control request on endpoint 0. Host-to-device: `data` holds the data
  // stage. Device-to-host: `data` is filled (the host cuts it to the
  // request's length).
  virtual PeerAnswer Control(const UsbSetupPacket& setup, std::vector<uint8_t>& data) = 0;

  virtual PeerAnswer BulkOut(uint8_t endpoint, const std::vector<uint8_t>& data) = 0;
  virtual PeerAnswer BulkIn(uint8_t endpoint, uint32_t maxLength, std::vector<uint8_t>& data) = 0;
};

// A peer that only describes itself: device and configuration descriptors
// from byte tables, GET_INTERFACE from a settable alternate setting. Every
// other request stalls; bulk transfers go unanswered.
class DescriptorPeer : public UsbPeer {
 public:
  DescriptorPeer(std::vector<uint8_t> device, std::vector<uint8_t> configuration)
      : device_(std::move(device)), configuration_(std::move(configuration)) {}

  PeerAnswer Control(const UsbSetupPacket& setup, std::vector<uint8_t>& data) override;
  PeerAnswer BulkOut(uint8_t, const std::vector<uint8_t>&) override { return PeerAnswer::Silent; }
  PeerAnswer BulkIn(uint8_t, uint32_t, std::vector<uint8_t>&) override {
    return PeerAnswer::Silent;
  }

  int AlternateSetting = 0;  // -1: GET_INTERFACE stalls

  const std::vector<uint8_t>& DeviceDescriptor() const { return device_; }
  const std::vector<uint8_t>& ConfigurationDescriptor() const { return configuration_; }

 private:
  std::vector<uint8_t> device_;
  std::vector<uint8_t> configuration_;
};

}  // namespace vesk::sim

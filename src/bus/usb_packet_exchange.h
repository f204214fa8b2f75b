#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "bus/bus.h"
#include "common/result_code.h"

namespace vesk {

// The packet exchange with a USB instrument's FX3 controller. Requests and
// replies travel either in class control requests on endpoint 0 (after every
// open) or, once bus.FastTransfer is 1, as 1024-byte packets on endpoint
// slots 3 (requests) and 4 (replies).

// Every endpoint of a freshly opened device waits this long.
inline constexpr uint32_t kUsbDefaultTimeoutMs = 2000;
// The largest reply one transfer can carry.
inline constexpr int32_t kUsbReplyBufferSize = 1024;

// Opens the deviceIndex-th USB instrument: those on the instrument's own
// driver first, then the Cypress-driver devices presenting 04b4:00f1. The
// new device is stored in `device` even when opening fails. Lines telling
// the operator why a present device cannot be used go to `errors`.
ResultCode OpenUsbDevice(std::unique_ptr<CCyDevice, CCyDeviceDeleter>& device, int32_t deviceIndex,
                         std::ostream& errors);

// Reads the controller's 16-byte information block: byte 0 and the version
// word at bytes 12-15.
ResultCode ReadControllerInfo(CCyDevice& device, int32_t& controllerInfo,
                              uint32_t& controllerVersion);

// Prepares a fast-capable controller of the given version.
ResultCode InitController(CCyDevice& device, uint32_t controllerVersion);

// Sends length / packet-size whole request packets (a shorter tail is not
// sent). Returns the last transfer's status.
ResultCode UsbWrite(Bus& bus, const uint8_t* request, int32_t length);

// Reads one reply and copies `length` bytes of it (missing bytes are zeros).
// Fast mode: -10 when the read timed out, -1 for another failure.
ResultCode UsbRead(Bus& bus, uint8_t* reply, int32_t length);

// Sets the reply timeout (fast: endpoint slot 4; else the control endpoint).
ResultCode UsbSetTimeout(Bus& bus, uint32_t timeoutMs);

// Writes a request and reads its reply. In control-request mode replyLength
// becomes the number of reply bytes received.
ResultCode UsbExchange(Bus& bus, const uint8_t* request, int32_t requestLength, uint8_t* reply,
                       int32_t& replyLength, uint32_t timeoutMs);

// Writes an FX3 boot image into the controller in 2048-byte blocks, each
// addressed by 64 KiB page and offset. -310 for an image without the "CY"
// signature (nothing is sent), -8 when a block is not taken.
ResultCode DownloadControllerImage(CCyDevice& device, const uint8_t* image, int32_t length);

}  // namespace vesk

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

// A device-interface class identifier as the instrument's host software names
// it: a 16-byte GUID (first three fields little-endian, then 8 bytes). On this
// host a class does not name a kernel driver; it selects devices by vendor and
// product number (DriverClassSelects).
using DriverGuid = std::array<uint8_t, 16>;

// {BF370E28-9908-4FCB-B8BB-83F9BC078259}: the instrument's own driver.
inline constexpr DriverGuid InstrumentDriverGuid = {0x28, 0x0E, 0x37, 0xBF, 0x08, 0x99,
                                                    0xCB, 0x4F, 0xB8, 0xBB, 0x83, 0xF9,
                                                    0xBC, 0x07, 0x82, 0x59};

// {AE18AA60-7F6A-11D4-97DD-00010229B959}: the Cypress USB driver.
inline constexpr DriverGuid CypressDriverGuid = {0x60, 0xAA, 0x18, 0xAE, 0x6A, 0x7F,
                                                 0xD4, 0x11, 0x97, 0xDD, 0x00, 0x01,
                                                 0x02, 0x29, 0xB9, 0x59};

// The FX3 controller's vendor number; every device of this vendor is served by
// the Cypress driver unless the instrument table claims it.
inline constexpr uint16_t kCypressVendorId = 0x04B4;

struct UsbId {
  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
  bool operator==(const UsbId&) const = default;
};

// Reads "vvvv:pppp,vvvv:pppp" (hexadecimal, spaces around entries allowed).
// Entries that are not two 1-4 digit hexadecimal numbers are left out.
std::vector<UsbId> ParseUsbIds(const std::string& text);

// The instrument's own vendor and product pairs: the list built into the
// program, then those of the environment variable VESK_USB_IDS, read once.
const std::vector<UsbId>& InstrumentIdTable();

// Whether a device with these numbers belongs to the driver class: the
// instrument driver takes the pairs of `instrumentIds`, the Cypress driver
// every other device of vendor 0x04B4 (as on a host where each device is bound
// to exactly one driver). Any other class selects nothing.
bool DriverClassSelects(const DriverGuid& driverClass, uint16_t vendorId, uint16_t productId,
                        const std::vector<UsbId>& instrumentIds);

// The udev rules file that gives the logged-in user access to the devices
// of both driver classes, as installed.
inline constexpr const char* kUdevRulesFile = "/etc/udev/rules.d/70-vesk-instruments.rules";

}  // namespace vesk

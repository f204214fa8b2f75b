#include "usb/driver_class.h"

#include <algorithm>
#include <cstdlib>

namespace vesk {

namespace {

bool ParseHex16(const std::string& text, uint16_t& value) {
  if (text.empty() || text.size() > 4) return false;
  unsigned result = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    result = result * 16 + digit;
  }
  value = static_cast<uint16_t>(result);
  return true;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::vector<UsbId> ParseUsbIds(const std::string& text) {
  std::vector<UsbId> ids;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string entry = Trim(text.substr(start, comma - start));
    size_t colon = entry.find(':');
    UsbId id;
    if (colon != std::string::npos && ParseHex16(entry.substr(0, colon), id.VendorId) &&
        ParseHex16(entry.substr(colon + 1), id.ProductId)) {
      ids.push_back(id);
    }
    start = comma + 1;
  }
  return ids;
}

const std::vector<UsbId>& InstrumentIdTable() {
  static const std::vector<UsbId> table = [] {
    std::vector<UsbId> ids = ParseUsbIds(VESK_BUILT_IN_USB_IDS);
    if (const char* extra = std::getenv("VESK_USB_IDS")) {
      for (const UsbId& id : ParseUsbIds(extra)) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
      }
    }
    return ids;
  }();
  return table;
}

bool DriverClassSelects(const DriverGuid& driverClass, uint16_t vendorId, uint16_t productId,
                        const std::vector<UsbId>& instrumentIds) {
  bool instrument = std::find(instrumentIds.begin(), instrumentIds.end(),
                              UsbId{vendorId, productId}) != instrumentIds.end();
  if (driverClass == InstrumentDriverGuid) return instrument;
  if (driverClass == CypressDriverGuid) return !instrument && vendorId == kCypressVendorId;
  return false;
}

}  // namespace vesk

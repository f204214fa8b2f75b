#include "net/services/config_message.h"

#include <algorithm>

#include "common/byte_order.h"
#include "net/services/crc32.h"

namespace vesk {

namespace {

// `ConfigMessage` layout.
constexpr size_t kTypeOffset = 0;
constexpr size_t kLengthOffset = 1;
constexpr size_t kIdLowOffset = 5;
constexpr size_t kIdHighOffset = 9;
constexpr size_t kPayloadOffset = 13;
constexpr size_t kCrcBytes = 4;

// `AddressSettings` layout.
constexpr size_t kStatusOffset = 1;
constexpr size_t kSettingsIdLowOffset = 8;
constexpr size_t kSettingsIdHighOffset = 12;
constexpr size_t kFirstWordOffset = 16;
constexpr size_t kSecondWordOffset = 20;

}  // namespace

AddressSettings BuildAddressSettings(uint32_t idLow, uint32_t idHigh, int32_t firstWord,
                                     int32_t secondWord) {
  return BuildReportedSettings(idLow, idHigh, firstWord, secondWord, 0);
}

AddressSettings BuildReportedSettings(uint32_t idLow, uint32_t idHigh, int32_t firstWord,
                                      int32_t secondWord, int8_t status) {
  AddressSettings settings{};
  settings[kStatusOffset] = static_cast<uint8_t>(status);
  PutLe32(settings.data() + kSettingsIdLowOffset, idLow);
  PutLe32(settings.data() + kSettingsIdHighOffset, idHigh);
  PutLe32(settings.data() + kFirstWordOffset, static_cast<uint32_t>(firstWord));
  PutLe32(settings.data() + kSecondWordOffset, static_cast<uint32_t>(secondWord));
  return settings;
}

int8_t ReportedStatus(const AddressSettings& settings) {
  return static_cast<int8_t>(settings[kStatusOffset]);
}

int32_t SettingsFirstWord(const AddressSettings& settings) {
  return static_cast<int32_t>(GetLe32(settings.data() + kFirstWordOffset));
}

int32_t SettingsSecondWord(const AddressSettings& settings) {
  return static_cast<int32_t>(GetLe32(settings.data() + kSecondWordOffset));
}

std::vector<uint8_t> BuildConfigMessage(const ConfigMessage& message) {
  std::vector<uint8_t> bytes(kPayloadOffset + message.payload.size() + kCrcBytes);
  bytes[kTypeOffset] = message.type;
  PutLe32(bytes.data() + kLengthOffset, static_cast<uint32_t>(message.payload.size()));
  PutLe32(bytes.data() + kIdLowOffset, message.idLow);
  PutLe32(bytes.data() + kIdHighOffset, message.idHigh);
  std::copy(message.payload.begin(), message.payload.end(), bytes.begin() + kPayloadOffset);
  size_t crcOffset = kPayloadOffset + message.payload.size();
  PutLe32(bytes.data() + crcOffset, Crc32(std::span(bytes).first(crcOffset)));
  return bytes;
}

std::optional<ConfigMessage> ParseConfigMessage(std::span<const uint8_t> datagram) {
  if (datagram.size() < kPayloadOffset + kCrcBytes) return std::nullopt;
  uint32_t length = GetLe32(datagram.data() + kLengthOffset);
  // Compared without adding to the field, which a stray datagram may set
  // near 2^32.
  if (length != datagram.size() - kPayloadOffset - kCrcBytes) return std::nullopt;
  size_t crcOffset = kPayloadOffset + length;
  if (Crc32(datagram.first(crcOffset)) != GetLe32(datagram.data() + crcOffset)) {
    return std::nullopt;
  }
  ConfigMessage message;
  message.type = datagram[kTypeOffset];
  message.idLow = GetLe32(datagram.data() + kIdLowOffset);
  message.idHigh = GetLe32(datagram.data() + kIdHighOffset);
  message.payload.assign(datagram.begin() + kPayloadOffset, datagram.begin() + crcOffset);
  return message;
}

}  // namespace vesk

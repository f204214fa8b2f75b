#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vesk {

// Address assignment is a broadcast exchange of small CRC-protected messages
// on this port. Each answer has the type of the message it answers plus 2.
inline constexpr uint16_t kConfigPort = 50003;

enum class ConfigMessageType : uint8_t {
  kSettings = 1,     // new settings (host) or the applied settings (instrument)
  kSettingsAck = 3,  // answers kSettings
  kConfirm = 5,      // answers kSettingsAck
  kConfirmAck = 7,   // answers kConfirm
};

// The 24-byte settings payload of a kSettings message.
inline constexpr size_t kAddressSettingsBytes = 24;
using AddressSettings = std::array<uint8_t, kAddressSettingsBytes>;

// Settings the host sends: both leading bytes and the reserved bytes 0.
AddressSettings BuildAddressSettings(uint32_t idLow, uint32_t idHigh, int32_t firstWord,
                                     int32_t secondWord);

// Settings an instrument reports back, with the outcome in its status byte.
AddressSettings BuildReportedSettings(uint32_t idLow, uint32_t idHigh, int32_t firstWord,
                                      int32_t secondWord, int8_t status);

// The outcome an instrument reports in its settings (0 success).
int8_t ReportedStatus(const AddressSettings& settings);

// The two settings words carried in a settings payload.
int32_t SettingsFirstWord(const AddressSettings& settings);
int32_t SettingsSecondWord(const AddressSettings& settings);

struct ConfigMessage {
  uint8_t type = 0;
  uint32_t idLow = 0;
  uint32_t idHigh = 0;
  std::vector<uint8_t> payload;
};

// The bytes of one message: type, payload length, identifier, payload, CRC.
std::vector<uint8_t> BuildConfigMessage(const ConfigMessage& message);

// A received datagram as a message, or nothing when it is too short, its
// length field disagrees with the datagram, or its CRC does not match.
std::optional<ConfigMessage> ParseConfigMessage(std::span<const uint8_t> datagram);

}  // namespace vesk

#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "bus/bus.h"

namespace vesk {

// Fills `destination` with the four numbers of a dotted IPv4 text (network
// order) and returns true; returns false and leaves it unchanged when the
// text is not four dot-separated numbers from 0 to 255.
bool ParseIpv4(const std::string& text, std::array<uint8_t, 16>& destination);

// Resets `bus` to the default link (USB, 192.168.1.100:5000, 10 s), then
// applies Settings.ini beside the executable, if it exists. Its values are
// taken by position: link kind, USB device index, address, port, timeout.
// Prints a sentence for every value it has to correct.
void LoadSettings(Bus& bus, int32_t& deviceIndex);

// Applies the text of a settings file to `bus` and `deviceIndex` over the
// values they already hold, with the same corrections and sentences as
// LoadSettings.
void ApplySettingsText(Bus& bus, int32_t& deviceIndex, std::istream& text);

}  // namespace vesk

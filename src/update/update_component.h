#pragma once

namespace vesk {

// The firmware components the updater writes through the instruction link.
enum class UpdateComponent { MCU = 0, FPGA = 1, GNSS = 2 };

constexpr const char* DisplayName(UpdateComponent component) {
  switch (component) {
    case UpdateComponent::MCU:
      return "MCU";
    case UpdateComponent::FPGA:
      return "FPGA";
    default:
      return "GNSS";
  }
}

}  // namespace vesk

#pragma once

#include <cstdint>
#include <future>
#include <string>

#include "bus/bus.h"
#include "common/result_code.h"

namespace vesk {

// The program-wide settings the controller update reads.
struct ControllerUpdateSettings {
  int32_t DeviceIndex = 0;
  std::string TargetDriverType;  // "vesk", "cypress" or empty: keep the installed type
  bool ForceUpdate = false;
  bool NoLimit = false;
};

// Reads the USB controller's firmware version over the open link.
ResultCode ReadControllerVersion(Bus& bus, uint32_t& version);

// Checks the instrument's USB controller ("FX3 driver") firmware and, when a
// newer image (or, with a flag, one of the other type) is in the firmware
// folder, writes it on a worker thread while showing a timed progress line.
ResultCode UpdateControllerFirmware(Bus& programBus, const ControllerUpdateSettings& settings);

// The worker: writes the image at `path` through a USB link of its own.
// 0 only when the whole image went to the controller.
ResultCode WriteControllerImage(Platform& host, int32_t deviceIndex, const std::string& path);

// The timed display shown while the worker writes. It ends its line at once,
// without the success line, as soon as the worker has failed.
void ShowControllerProgress(Platform& host, const std::shared_future<ResultCode>& writer);

}  // namespace vesk

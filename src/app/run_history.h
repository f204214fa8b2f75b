#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bus/bus_interface.h"
#include "bus/device_info.h"
#include "common/result_code.h"

namespace vesk {

// What one run did to an instrument, kept so that a lab can trace later
// which images went into which instrument. One JSON line per run that
// reached an instrument (the VIRTUAL walk-through reaches none).
class RunHistory {
 public:
  void Started(std::chrono::system_clock::time_point when) { started_ = when; }
  void Reached(BusInterface link);
  void Identified(const DeviceInfo& info, const std::string& modelName);
  // One attempt of a component procedure with the image it wrote.
  void Attempted(const std::string& component, const std::string& imagePath, ResultCode result);
  void ControllerStep(ResultCode result);

  bool ReachedInstrument() const { return link_.has_value(); }

  // The run as one line of JSON, without the line end.
  std::string JsonLine(ResultCode finalResult) const;

 private:
  struct Attempt {
    std::string Component;
    std::string ImageName;
    std::string ImageSha256;
    ResultCode Result = kResultOk;
    int Attempts = 0;
  };
  std::chrono::system_clock::time_point started_{};
  std::optional<BusInterface> link_;
  std::optional<DeviceInfo> identity_;
  std::string modelName_;
  std::vector<Attempt> components_;
  std::optional<ResultCode> controller_;
};

// $XDG_STATE_HOME/vesk-updater/history.jsonl, or ~/.local/state/... when
// XDG_STATE_HOME is unset or not absolute; nothing when neither is known.
std::optional<std::string> DefaultHistoryPath();

// Appends `line` and a line end, creating the folders. False with the reason
// when the file cannot be written.
bool AppendHistoryLine(const std::string& path, const std::string& line, std::string& why);

// The SHA-256 of a file in lower-case hexadecimal; empty when unreadable.
std::string FileSha256(const std::string& path);

}  // namespace vesk

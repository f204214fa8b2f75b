#include "update/mcu_update.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>

#include "bus/ethernet_commands.h"
#include "bus/instructions.h"
#include "catalog/firmware_version.h"
#include "update/firmware_file.h"
#include "update/procedure_link.h"
#include "update/progress_line.h"
#include "update/upgrade_refusal.h"
#include "update/usb_procedure_steps.h"

namespace vesk {

namespace {

constexpr uint32_t kMcuReplyTimeoutMs = 1000;
constexpr uint32_t kFlashBlockSize = 128;
// Newer MCU files carry the boot loader in their first 16 KiB.
constexpr uint32_t kEmbeddedBootSize = 0x4000;

constexpr std::chrono::milliseconds kAfterFirstRestartInstruction{10};
constexpr std::chrono::milliseconds kRestartSettle{1500};
constexpr std::chrono::milliseconds kBeforeBootDownload{5000};
constexpr std::chrono::milliseconds kBetweenRestartInstructions{100};
constexpr std::chrono::milliseconds kIapRestartSettle{860};
constexpr std::chrono::milliseconds kAfterDownload{100};
constexpr std::chrono::milliseconds kBeforeIdentification{5000};

// The version carried in an MCU file name, between its last "_" and last ".".
struct FileVersion {
  int16_t Major = 0;
  int16_t Minor = 0;
  int16_t Patch = 0;
};

FileVersion ReadFileVersion(const std::string& path) {
  FileVersion version;
  size_t underscore = path.rfind('_');
  size_t dot = path.rfind('.');
  if (underscore == std::string::npos) return version;
  std::string text = path.substr(underscore + 1, dot == std::string::npos || dot < underscore
                                                     ? std::string::npos
                                                     : dot - underscore - 1);
  std::sscanf(text.c_str(), "%hd.%hd.%hd", &version.Major, &version.Minor, &version.Patch);
  return version;
}

bool FileEligible(const FileVersion& v) {
  return !(v.Major == 0 && (v.Minor < 55 || (v.Minor == 55 && v.Patch < 26)));
}

bool EmbeddedBootLayout(const FileVersion& v) {
  return v.Minor > 55 || (v.Minor == 55 && v.Patch >= 54);
}

// Installed MCU versions 0.55.27 to 0.55.29 must not be updated from here.
bool DeviceRefused(const FirmwareVersion& v) {
  return v.Major == 0 && v.Minor == 55 && v.Patch >= 27 && v.Patch <= 29;
}

bool BootTooOld(const FirmwareVersion& v) {
  return v.Major == 0 && (v.Minor < 55 || (v.Minor == 55 && v.Patch < 26));
}

// Boards running these versions still carry the 200-ohm resistor that the
// new firmware's power control cannot work with.
bool PowerBoardNeedsChange(const FirmwareVersion& v) {
  return v.Major == 0 && ((v.Minor >= 31 && v.Minor <= 54) || (v.Minor == 55 && v.Patch < 40));
}

// RB models 51 to 59 boot from the T-series loader, all others from the K one.
std::string BootImagePath(const std::string& path, uint16_t modelCode, const FileVersion& v) {
  if (v.Minor >= 55 && v.Patch >= 54) return path;
  const char* name = (modelCode >= 51 && modelCode <= 59) ? "IAP_BOOT_RBT.bin" : "IAP_BOOT_RBK.bin";
  size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + name;
}

// The refusal sentences carry their own line break and no second one.

// Steps 3 to 13 on an open link; the caller closes it.
ResultCode UpdateOnOpenLink(Bus& bus, int32_t deviceIndex, const std::string& path) {
  Platform& host = bus.Host;
  std::ostream& out = host.Out();
  const FileVersion file = ReadFileVersion(path);
  if (!FileEligible(file)) {
    PrintUpgradeRefused(out);
    return kResultNotAllowed;
  }
  const bool embedded = EmbeddedBootLayout(file);
  std::optional<uint64_t> fileLength = FileLength(path);
  if (embedded && fileLength && *fileLength < kEmbeddedBootSize) {
    // The application would start past the end of the file: nothing sane to write.
    host.Err() << "MCU firmware file " << path << " is shorter than the " << kEmbeddedBootSize
               << "-byte boot image it must carry; refused (" << kResultFileUnreadable << ")"
               << std::endl;
    return kResultFileUnreadable;
  }

  const RxBody zero{};
  bool bootCurrent = true;
  std::string bootPath;
  ApplyReplyTimeout(bus);
  SendRxInstruction(bus, 0x0B, 0, zero);
  DeviceInfo info;
  if (ReadDeviceInfo(bus, info) == kResultOk) {
    const FirmwareVersion installed = FirmwareVersion::FromPacked(info.McuVersion);
    if (DeviceRefused(installed)) {
      PrintUpgradeRefused(out);
      return kResultNotAllowed;
    }
    if (BootTooOld(installed)) bootCurrent = false;
    bootPath = BootImagePath(path, info.ModelCode, file);

    SendRxInstruction(bus, 0xF7, 0, zero);
    host.Pause(kAfterFirstRestartInstruction);
    DeviceInfo second;
    if (ReadDeviceInfo(bus, second) == kResultOk &&
        PowerBoardNeedsChange(FirmwareVersion::FromPacked(second.McuVersion))) {
      out << "Powerboad needs to change, 200ohm resistor should be removed\n" << std::flush;
      return kResultNotAllowed;
    }
    SendRxInstruction(bus, 0xF7, 1, zero);
    CloseBus(bus);
    host.Pause(kRestartSettle);
    if (OpenBus(bus, deviceIndex) != kResultOk) return kResultNoReturnAfterRestart;
  }

  if (!fileLength) return kResultFileUnreadable;
  uint32_t appOffset = 0;
  uint32_t appSize = static_cast<uint32_t>(*fileLength);
  uint32_t bootSize = 0;
  if (embedded) {
    appOffset = kEmbeddedBootSize;
    appSize = static_cast<uint32_t>(*fileLength - kEmbeddedBootSize);
    bootSize = kEmbeddedBootSize;
    bootPath = path;  // the boot loader is the file's own first 16 KiB
  } else if (!bootCurrent) {
    std::optional<uint64_t> bootLength = FileLength(bootPath);
    if (!bootLength) return kResultFileUnreadable;
    bootSize = static_cast<uint32_t>(*bootLength);
  }

  if (!bootCurrent) {
    out << "The boot needs to be updated" << std::endl;
    host.Pause(kBeforeBootDownload);
    EnterIapMode(bus);
    if (ResultCode r = FlashDownload(bus, bootPath, 0, bootSize); r != kResultOk) return r;
    out << "MCU new boot is ready" << std::endl;
  }

  switch (bus.Interface) {
    case BusInterface::ETH:
      if (ResultCode r = EthRestartIntoIap(bus, deviceIndex); r != kResultOk) return r;
      break;
    case BusInterface::USB: {
      if (ResultCode r = SendRxInstruction(bus, 0xF7, 0, zero); r != kResultOk) return r;
      host.Pause(kBetweenRestartInstructions);
      if (ResultCode r = SendRxInstruction(bus, 0xF7, 1, zero); r != kResultOk) return r;
      CloseBus(bus);
      host.Pause(kIapRestartSettle);
      if (ResultCode r = OpenBus(bus, deviceIndex); r != kResultOk) return r;
      if (ResultCode r = EnterIapMode(bus); r != kResultOk) return r;
      break;
    }
    case BusInterface::VIRTUAL:
      break;
    default:
      return kResultNoInstructionPath;
  }

  if (ResultCode r = FlashDownload(bus, path, appOffset, appSize); r != kResultOk) return r;
  host.Pause(kBeforeIdentification);
  return ReadDeviceInfo(bus, info);
}

}  // namespace

ResultCode FlashDownload(Bus& bus, const std::string& path, uint32_t offset, uint32_t size) {
  std::optional<std::vector<uint8_t>> region = ReadFileRegion(path, offset, size);
  if (!region) return kResultFileUnreadable;
  std::ostream& out = bus.Host.Out();
  out << "Erase Flash, please wait...\n" << std::flush;

  switch (bus.Interface) {
    case BusInterface::USB:
      if (ResultCode r = UsbEraseFlash(bus); r != kResultOk) return r;
      break;
    case BusInterface::ETH:
      if (ResultCode r = EthFlashErase(bus, region->data(), size); r != kResultOk) return r;
      break;
    case BusInterface::VIRTUAL:
      break;
    default:
      return kResultNoInstructionPath;
  }

  out << "Erase completed!\n";
  ProgressLine progress(out, "Updating...");
  const uint32_t blocks = (size + kFlashBlockSize - 1) / kFlashBlockSize;
  for (uint32_t i = 0; i < blocks; ++i) {
    uint32_t n = std::min(kFlashBlockSize, size - kFlashBlockSize * i);
    // Sequence numbers start at 1 and wrap from 255 to 0.
    uint8_t sequence = static_cast<uint8_t>((i + 1) % 256);
    ResultCode r = WriteFlashBlock(bus, region->data() + kFlashBlockSize * i, sequence,
                                   static_cast<uint8_t>(n));
    if (r != kResultOk) {
      out << "\n" << std::flush;
      return r;
    }
    progress.Show(i + 1, blocks);
  }
  out << "\n" << std::flush;
  bus.Host.Pause(kAfterDownload);

  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbFinishFlash(bus);
    case BusInterface::ETH:
      return EthFlashFinish(bus);
    case BusInterface::VIRTUAL:
      return kResultOk;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode RunMcuUpdate(Platform& host, int32_t deviceIndex, const std::string& path) {
  host.Out() << "Ready to update MCU firmware, please wait..." << std::endl;
  Bus bus(host);
  bus.ReplyTimeoutMs = kMcuReplyTimeoutMs;
  if (OpenProcedureBus(bus, deviceIndex) != kResultOk) return kResultNoLink;
  ResultCode result = UpdateOnOpenLink(bus, deviceIndex, path);
  CloseBus(bus);
  return result;
}

}  // namespace vesk

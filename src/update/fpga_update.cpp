#include "update/fpga_update.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <vector>

#include "bus/ethernet_commands.h"
#include "bus/instructions.h"
#include "update/firmware_file.h"
#include "update/procedure_link.h"
#include "update/progress_line.h"
#include "update/usb_procedure_steps.h"

namespace vesk {

namespace {

constexpr uint32_t kFpgaReplyTimeoutMs = 2000;
// A jic file wraps the image: it starts 4 MiB + 160 bytes into the file.
constexpr uint64_t kJicImageOffset = 4194464;
constexpr uint32_t kPacketCount = (kFpgaImageSize + kFpgaPacketSize - 1) / kFpgaPacketSize;
// The instrument reports its configuration flash erased with this status byte.
constexpr uint8_t kErasedStatus = 0x55;
constexpr int kMaxErasePolls = 300;

constexpr std::chrono::milliseconds kBeforeRestart{2000};
constexpr std::chrono::milliseconds kBetweenRestartInstructions{100};
constexpr std::chrono::milliseconds kAfterRestart{2000};

// The 3932160-byte image, or nothing (with the reason on standard error)
// when the file cannot be used.
std::optional<std::vector<uint8_t>> LoadImage(Platform& host, const std::string& path) {
  if (path.find(".rpd") == std::string::npos) {
    return ReadFileRegion(path, kJicImageOffset, kFpgaImageSize, 0x00);
  }
  std::optional<uint64_t> length = FileLength(path);
  if (length && *length > kFpgaImageSize) {
    // Sending only a part of it would leave a truncated configuration.
    host.Err() << "FPGA image file " << path << " is longer than the " << kFpgaImageSize
               << "-byte FPGA image; refused (" << kResultFileUnreadable << ")" << std::endl;
    return std::nullopt;
  }
  return ReadFileRegion(path, 0, kFpgaImageSize, 0xFF);  // the flash's erased value
}

ResultCode Start(Bus& bus) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbFpgaStart(bus);
    case BusInterface::ETH:
      return EthFpgaStart(bus) == kResultOk ? kResultOk : kResultNotAcknowledged;
    case BusInterface::VIRTUAL:
      return kResultOk;
    default:
      return kResultNotAcknowledged;
  }
}

ResultCode End(Bus& bus) {
  ResultCode result;
  switch (bus.Interface) {
    case BusInterface::USB:
      result = UsbFpgaEnd(bus);
      break;
    case BusInterface::ETH:
      result = EthFpgaEnd(bus);
      break;
    case BusInterface::VIRTUAL:
      result = kResultOk;
      break;
    default:
      result = kResultFpgaEndFailed;
  }
  return result == kResultOk ? kResultOk : kResultFpgaEndFailed;
}

ResultCode WriteImage(Bus& bus, const std::vector<uint8_t>& image) {
  Platform& host = bus.Host;
  std::ostream& out = host.Out();
  if (ResultCode r = Start(bus); r != kResultOk) return r;
  out << "Application 1 Hardware upgrade in progress...\n" << "Erase Flash, please wait...\n"
      << std::flush;

  // The erase takes a while; neither a failed poll nor a missing status stops
  // the download (the instrument erases before it writes in any case).
  for (int poll = 0; poll < kMaxErasePolls; ++poll) {
    uint8_t status = 0;
    ReadStatusByte(bus, status);
    if (status == kErasedStatus) break;
  }

  out << "Erase completed!\n" << "Data packet number is " << kPacketCount << "\n";
  ProgressLine progress(out, "Downloading...");
  for (uint32_t i = 0; i < kPacketCount; ++i) {
    uint32_t n = std::min(kFpgaPacketSize, kFpgaImageSize - kFpgaPacketSize * i);
    uint8_t echo = 0;
    if (SendDataBlock(bus, image.data() + kFpgaPacketSize * i, static_cast<uint8_t>(n), echo) !=
        kResultOk) {
      return kResultTransferFailed;
    }
    progress.Show(i + 1, kPacketCount);
  }
  if (ResultCode r = End(bus); r != kResultOk) return r;

  out << "\n" << std::flush;
  host.Pause(kBeforeRestart);
  RestartPair(bus, kBetweenRestartInstructions);
  host.Pause(kAfterRestart);
  return kResultOk;
}

}  // namespace

ResultCode RunFpgaUpdate(Platform& host, int32_t deviceIndex, const std::string& path) {
  host.Out() << "Ready to update FPGA firmware, please wait for about 10 minutes" << std::endl;
  Bus bus(host);
  bus.ReplyTimeoutMs = kFpgaReplyTimeoutMs;
  if (OpenProcedureBus(bus, deviceIndex) != kResultOk) return kResultNoLink;

  std::optional<std::vector<uint8_t>> image = LoadImage(host, path);
  if (!image) {
    CloseBus(bus);
    return kResultFileUnreadable;
  }
  ResultCode result = WriteImage(bus, *image);
  ResultCode closed = CloseBus(bus);
  return result != kResultOk ? result : closed;
}

}  // namespace vesk

#include "update/gnss_update.h"

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

constexpr uint32_t kProbeReplyTimeoutMs = 10000;
constexpr uint32_t kPacketReplyTimeoutMs = 2000;
constexpr uint32_t kGnssPacketSize = 196;
constexpr uint8_t kMorePackets = 1;
constexpr uint8_t kLastPacket = 2;
// The instrument's status word for a probe when no receiver is fitted.
constexpr ResultCode kNoReceiverStatus = kResultNotAcknowledged;

constexpr uint32_t kZFamilyHeader = 0x3000;
constexpr uint32_t kHeader = 0x2800;

constexpr std::chrono::milliseconds kZFamilyPowerDown{3000};
constexpr std::chrono::milliseconds kBeforeProbe{200};
constexpr std::chrono::milliseconds kBeforeStream{200};
constexpr std::chrono::milliseconds kPowerSettle1{2000};
constexpr std::chrono::milliseconds kPowerSettle2{4000};
constexpr std::chrono::milliseconds kPowerSettle3{2000};

bool IsZFamily(const std::string& path) {
  size_t underscore = path.rfind('_');
  return underscore != std::string::npos && underscore > 0 && path[underscore - 1] == 'Z';
}

// The receiver firmware needs MCU firmware 0.55.32 or later, except 0.55.50.
bool McuEligible(const FirmwareVersion& v) {
  return v.Major != 0 || v.Minor > 55 || (v.Minor == 55 && v.Patch >= 32 && v.Patch != 50);
}

// The refusal sentence carries its own line break and no second one.

// Asks whether a receiver is fitted. An instrument without one cannot take
// the image at all, so that answer is a refusal (-301), never retried.
ResultCode Probe(Bus& bus) {
  ResultCode result = kResultOk;
  bool noReceiver = false;
  switch (bus.Interface) {
    case BusInterface::USB:
      result = UsbGnssProbe(bus);
      noReceiver = result == kResultNotAllowed;
      break;
    case BusInterface::ETH:
      result = EthGnssProbe(bus);
      noReceiver = result == kNoReceiverStatus;
      break;
    case BusInterface::VIRTUAL:
      break;
    default:
      result = kResultNoInstructionPath;
  }
  bus.ReplyTimeoutMs = kPacketReplyTimeoutMs;
  if (!noReceiver) return result;
  bus.Host.Out() << "No gnss, upgrade is not allowed" << std::endl;
  return kResultNotAllowed;
}

ResultCode SendPacket(Bus& bus, uint8_t flag, uint8_t n, const uint8_t* data) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbGnssPacket(bus, flag, n, data);
    case BusInterface::ETH:
      return EthGnssPacket(bus, flag, n, data);
    case BusInterface::VIRTUAL:
      return kResultOk;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode Stream(Bus& bus, const std::vector<uint8_t>& body) {
  const uint32_t size = static_cast<uint32_t>(body.size());
  const uint32_t packets = (size + kGnssPacketSize - 1) / kGnssPacketSize;
  ProgressLine progress(bus.Host.Out(), "Updating GNSS Firmware...");
  for (uint32_t i = 0; i < packets; ++i) {
    bool last = i + 1 == packets;
    uint32_t n = last ? size - kGnssPacketSize * i : kGnssPacketSize;
    ResultCode r = SendPacket(bus, last ? kLastPacket : kMorePackets, static_cast<uint8_t>(n),
                              body.data() + kGnssPacketSize * i);
    if (r != kResultOk) return r;
    progress.Show(i + 1, packets);
  }
  return kResultOk;
}

}  // namespace

uint32_t GnssHeaderSkip(const std::string& path) {
  if (IsZFamily(path)) return kZFamilyHeader;
  // A name without a readable version counts its missing numbers as 0.
  int16_t major = 0;
  int16_t minor = 0;
  size_t underscore = path.rfind('_');
  if (underscore != std::string::npos) {
    size_t dot = path.rfind('.');
    std::string text = path.substr(underscore + 1, dot == std::string::npos || dot < underscore
                                                       ? std::string::npos
                                                       : dot - underscore - 1);
    std::sscanf(text.c_str(), "%hd.%hd", &major, &minor);
  }
  return (major == 1 && minor <= 14) ? 0 : kHeader;
}

ResultCode RunGnssUpdate(Platform& host, int32_t deviceIndex, const std::string& path) {
  std::ostream& out = host.Out();
  out << "Ready to update GNSS firmware, please wait..." << std::endl;
  const uint32_t skip = GnssHeaderSkip(path);
  const bool zFamily = IsZFamily(path);
  if (zFamily) host.Pause(kZFamilyPowerDown);

  Bus bus(host);
  bus.ReplyTimeoutMs = kProbeReplyTimeoutMs;
  if (OpenProcedureBus(bus, deviceIndex) != kResultOk) return kResultNoLink;

  ApplyReplyTimeout(bus);
  DeviceInfo info;
  if (ReadDeviceInfo(bus, info) != kResultOk ||
      !McuEligible(FirmwareVersion::FromPacked(info.McuVersion))) {
    PrintUpgradeRefused(out);
    CloseBus(bus);
    return kResultNotAllowed;
  }

  std::optional<uint64_t> length = FileLength(path);
  if (!length) {
    CloseBus(bus);
    return kResultFileUnreadable;
  }
  if (*length <= skip) {
    // Nothing but the header: there is no firmware in it to send.
    host.Err() << "GNSS firmware file " << path << " is not longer than its " << skip
               << "-byte header; refused (" << kResultFileUnreadable << ")" << std::endl;
    CloseBus(bus);
    return kResultFileUnreadable;
  }
  std::optional<std::vector<uint8_t>> body = ReadFileRegion(path, skip, *length - skip);
  if (!body) {
    CloseBus(bus);
    return kResultFileUnreadable;
  }
  host.Pause(kBeforeProbe);

  ResultCode result = Probe(bus);
  if (result == kResultOk) {
    host.Pause(kBeforeStream);
    result = Stream(bus, *body);
  }
  if (result != kResultOk) {
    CloseBus(bus);
    return result;
  }
  out << "\n" << std::flush;
  result = CloseBus(bus);

  if (zFamily) {
    host.Pause(kPowerSettle1);
    out << "Wait for the power to be ready" << std::endl;
    host.Pause(kPowerSettle2);
    out << "The power is ready" << std::endl;
    host.Pause(kPowerSettle3);
  }
  return result;
}

}  // namespace vesk

#include "update/controller/controller_update.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <ostream>
#include <vector>

#include "bus/ethernet_commands.h"
#include "catalog/firmware_listing.h"
#include "catalog/firmware_version.h"
#include "update/controller/controller_image.h"
#include "update/controller/usb_controller_access.h"
#include "update/procedure_link.h"

namespace vesk {

namespace {

// Controllers older than 0.55.3 cannot take a new image from this program.
constexpr uint32_t kMinimumControllerVersion = 0x3703;
constexpr uint32_t kWriterReplyTimeoutMs = 2000;

constexpr std::chrono::milliseconds kProgressDelay{1500};
constexpr std::chrono::milliseconds kProgressStep{100};
constexpr int kProgressSteps = 300;

bool Failed(const std::shared_future<ResultCode>& writer) {
  return writer.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
         writer.get() != kResultOk;
}

std::optional<std::vector<uint8_t>> ReadImage(const std::string& path, std::ostream& err) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file.is_open()) {
    err << "Error opening file: " << path << std::endl;
    return std::nullopt;
  }
  std::streamoff length = file.tellg();
  std::vector<uint8_t> image(length > 0 ? static_cast<size_t>(length) : 0);
  file.seekg(0);
  if (length < 0 || !file.read(reinterpret_cast<char*>(image.data()), length)) {
    err << "Error reading file: " << path << std::endl;
    return std::nullopt;
  }
  return image;
}

}  // namespace

ResultCode ReadControllerVersion(Bus& bus, uint32_t& version) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbReadControllerVersion(bus, version);
    case BusInterface::ETH:
      return EthReadControllerVersion(bus, version);
    case BusInterface::VIRTUAL:
      version = 0;
      return kResultOk;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode WriteControllerImage(Platform& host, int32_t deviceIndex, const std::string& path) {
  host.Out() << "Ready to update fx3 driver, please wait..." << std::endl;
  Bus bus(host);
  bus.ReplyTimeoutMs = kWriterReplyTimeoutMs;
  if (OpenProcedureBus(bus, deviceIndex) != kResultOk) return kResultNoLink;
  if (bus.Interface != BusInterface::USB) {
    // Only the USB link can carry a controller image: nothing was written.
    CloseBus(bus);
    return kResultNoLink;
  }
  std::optional<std::vector<uint8_t>> image = ReadImage(path, host.Err());
  if (!image) {
    CloseBus(bus);
    return kResultFileUnreadable;
  }
  if (CheckControllerImage(*image) != kResultOk ||
      UsbDownloadControllerImage(bus, *image) != kResultOk) {
    CloseBus(bus);
    return kResultControllerUpdateFailed;
  }
  return CloseBus(bus);
}

void ShowControllerProgress(Platform& host, const std::shared_future<ResultCode>& writer) {
  std::ostream& out = host.Out();
  host.Pause(kProgressDelay);
  out << "Updating FX3 Driver... 0.00%" << std::flush;
  for (int step = 0; step <= kProgressSteps; ++step) {
    if (Failed(writer)) {
      out << std::endl;
      return;
    }
    char percent[16];
    std::snprintf(percent, sizeof(percent), "%5.2f",
                  static_cast<double>(static_cast<float>(step) * 100.0f / kProgressSteps));
    out << "\rUpdating FX3 Driver... " << percent << "%" << std::flush;
    host.Pause(kProgressStep);
  }
  // The display follows the clock; only a writer that finished well gets the
  // success line.
  writer.wait();
  if (writer.get() != kResultOk) {
    out << std::endl;
    return;
  }
  out << "\rUpdating FX3 Driver... 100.00%" << std::endl;
  out << "Update completed successfully!" << std::endl;
}

ResultCode UpdateControllerFirmware(Bus& programBus, const ControllerUpdateSettings& settings) {
  Platform& host = programBus.Host;
  std::ostream& out = host.Out();
  if (OpenBusWithEthernetFallback(programBus, settings.DeviceIndex) != kResultOk) {
    return kResultNoLink;
  }

  uint32_t installed = 0;
  if (ResultCode r = ReadControllerVersion(programBus, installed); r != kResultOk) {
    CloseBus(programBus);
    return r;
  }
  out << "FX3 driver version: " << FormatVersion(FirmwareVersion::FromPacked(installed))
      << std::endl;
  if (installed < kMinimumControllerVersion) {
    CloseBus(programBus);
    return kResultControllerTooOld;
  }

  const FirmwareListing listing = ListFirmwareFiles(host);
  const std::string installedType =
      programBus.Interface == BusInterface::USB && UsbShowsCypressIdentity(programBus) ? "cypress"
                                                                                       : "vesk";
  out << "FX3 driver type: " << installedType << std::endl;
  const std::string wantedType =
      settings.TargetDriverType.empty() ? installedType : settings.TargetDriverType;

  std::string imagePath;
  for (size_t i = 0; i < listing.Names.size(); ++i) {
    if (listing.Names[i].find(wantedType) != std::string::npos) {
      imagePath = listing.Paths[i];
      break;
    }
  }
  if (imagePath.empty()) {
    CloseBus(programBus);
    return kResultNoControllerImage;
  }
  CloseBus(programBus);

  PathVersion version;
  try {
    version = ReadPathVersion(imagePath);
  } catch (const std::out_of_range&) {
    version = {};  // a digit run too long to be a version: no version at all
  }
  if (version.Numbers.size() < 3) {
    out << std::endl;  // a name without a version cannot be judged newer
    return kResultNoControllerImage;
  }
  const uint32_t offered = PackVersion(version.Numbers[0], version.Numbers[1], version.Numbers[2]);
  if (installed >= offered) {
    bool typeChangeAllowed =
        (settings.NoLimit || settings.ForceUpdate) && wantedType != installedType;
    if (!typeChangeAllowed) {
      out << std::endl;
      return kResultNoControllerImage;
    }
  }

  out << std::endl;
  out << "New FX3 driver version: " << version.Text << std::endl;
  out << "The type of fx3 driver to be updated: " << wantedType << std::endl;
  out << std::endl;

  std::shared_future<ResultCode> writer =
      std::async(std::launch::async, WriteControllerImage, std::ref(host), settings.DeviceIndex,
                 imagePath)
          .share();
  ShowControllerProgress(host, writer);
  if (writer.get() != kResultOk) return kResultControllerUpdateFailed;

  out << "FX3 driver has been updated to the latest version " << version.Text << std::endl;
  out << std::endl;
  return kResultOk;
}

}  // namespace vesk

#include "catalog/update_plan.h"

#include <ostream>
#include <stdexcept>

#include "catalog/firmware_listing.h"

namespace vesk {

namespace {

constexpr size_t kVersionParts = 3;

// Plans one MCU or FPGA image: its version is the first dotted triple after
// "Firmware" in its path, written to the instrument when it differs from the
// installed one. False when that version cannot be read (a number beyond the
// signed 32-bit range ahead of the image's own version); the image then counts
// as absent rather than ending the run.
bool PlanImage(const PlanningContext& context, const std::string& path, const char* component,
               const FirmwareVersion& installed, bool& update, std::string& imagePath,
               uint32_t& newVersion) {
  PathVersion version;
  try {
    version = ReadPathVersion(path);
  } catch (const std::out_of_range&) {
    return false;
  }
  if (version.Numbers.size() != kVersionParts) return false;

  imagePath = path;
  newVersion = PackVersion(version.Numbers[0], version.Numbers[1], version.Numbers[2]);
  if (newVersion != PackVersion(installed.Major, installed.Minor, installed.Patch) ||
      context.ForceUpdate) {
    update = true;
    context.Host.Out() << "New " << component << " firmware version: " << version.Text << '\n';
  }
  return true;
}

}  // namespace

ResultCode PlanUpdate(const PlanningContext& context, uint16_t hardwareCode, uint16_t modelCode,
                      const FirmwareVersion& installedMcu, const FirmwareVersion& installedFpga,
                      UpdatePlan& plan) {
  // A plan left over from an earlier attempt must never name an image that
  // this folder no longer offers.
  plan = UpdatePlan{};
  int missing = kComponentBitMcu | kComponentBitFpga | kComponentBitGnss;
  FirmwareListing listing = ListFirmwareFiles(context.Host);

  std::string gnssPrefix = GnssFilePrefix(hardwareCode, context.ServerDeviceType, context.Host);
  GnssImageChoice gnss = SelectNewestGnssImage(listing.Names, gnssPrefix);
  if (gnss.Index >= 0) {
    plan.GnssImagePath = listing.Paths[static_cast<size_t>(gnss.Index)];
    missing &= ~kComponentBitGnss;
  }

  ModelImageChoice images =
      SelectModelImages(listing.Names, listing.ModelPrefixes, modelCode, context.ModelTable);
  if (images.McuIndex >= 0 &&
      PlanImage(context, listing.Paths[static_cast<size_t>(images.McuIndex)], "MCU", installedMcu,
                plan.UpdateMcu, plan.McuImagePath, plan.NewMcuVersion)) {
    missing &= ~kComponentBitMcu;
  }
  if (images.FpgaIndex >= 0 &&
      PlanImage(context, listing.Paths[static_cast<size_t>(images.FpgaIndex)], "FPGA",
                installedFpga, plan.UpdateFpga, plan.FpgaImagePath, plan.NewFpgaVersion)) {
    missing &= ~kComponentBitFpga;
  }
  return MissingImagesCode(missing);
}

}  // namespace vesk

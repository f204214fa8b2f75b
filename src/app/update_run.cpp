#include "app/update_run.h"

#include <ostream>

#include "app/console_prompt.h"
#include "app/settings.h"
#include "bus/instructions.h"
#include "catalog/firmware_version.h"
#include "catalog/update_plan.h"
#include "net/services/device_server_update.h"
#include "update/component_sequence.h"

namespace vesk {

namespace {

// Instruments whose MCU or FPGA minor version is below this cannot be
// updated by this program at all.
constexpr uint16_t kMinimumMinorVersion = 54;

// The server's answer for a VQZ handheld; negative answers (-1000: no
// answer) are treated the same.
constexpr int32_t kServerKt = 0;
constexpr int32_t kServerVq = 1;
constexpr int32_t kServerVqz = 2;

ResultCode Finish(Bus& bus, ResultCode result) {
  CloseBus(bus);
  return result;
}

// Prints the identity and returns the model name shown (empty for a model
// code this program does not know).
std::string PrintIdentity(Program& program, const DeviceInfo& info, const FirmwareVersion& mcu,
                          const FirmwareVersion& fpga) {
  std::ostream& out = program.Host.Out();
  std::string model;
  for (const auto& [name, code] : program.State.ModelTable) {
    if (code == info.ModelCode) {
      model = name;
      break;
    }
  }
  out << "Device Model: " << model << std::endl;
  out << "Device UID: " << std::hex << info.Uid << std::dec << std::endl;
  out << "MCU firmware version: " << FormatVersion(mcu) << std::endl;
  out << "FPGA firmware version: " << FormatVersion(fpga) << "\n" << std::endl;
  return model;
}

ResultCode MinimumVersionResult(const FirmwareVersion& mcu, const FirmwareVersion& fpga) {
  bool mcuTooOld = mcu.Minor < kMinimumMinorVersion;
  bool fpgaTooOld = fpga.Minor < kMinimumMinorVersion;
  if (mcuTooOld && fpgaTooOld) return kResultMcuFpgaTooOld;
  if (fpgaTooOld) return kResultFpgaTooOld;
  if (mcuTooOld) return kResultMcuTooOld;
  return kResultOk;
}

// The permitted-version tests for Ethernet instruments. Prints the refusal
// and returns true when the instrument must not be updated.
bool RefusedByLimits(Program& program, const FirmwareVersion& mcu, const FirmwareVersion& fpga) {
  const ProgramState& state = program.State;
  if (program.ProgramBus.Interface != BusInterface::ETH || state.NoLimit) return false;
  if (!state.LimitsFromFile && !state.BuiltInLimitsLoaded) return false;
  std::ostream& out = program.Host.Out();
  int32_t type = state.ServerDeviceType;
  if (type == kServerVqz || type < 0) {
    out << "This device is VQZ type(" << type
        << "), which currently does not support firmware updates.\n"
        << std::endl;
    return true;
  }
  if (type == kServerKt && KtUpdatesBlocked(state.UpdateLimits)) {
    out << "This device is KT type, which currently does not support firmware updates.\n"
        << std::endl;
    return true;
  }
  if (type == kServerVq && !VqCombinationPermitted(state.UpdateLimits, mcu, fpga)) {
    out << "This device is VQ type, but its current firmware combination is not within the "
           "permitted update cluster. Therefore, firmware updates are temporarily "
           "unsupported.\n"
        << std::endl;
    return true;
  }
  return false;
}

}  // namespace

ResultCode RunUpdate(Program& program) {
  Bus& bus = program.ProgramBus;
  ProgramState& state = program.State;
  std::ostream& out = program.Host.Out();

  LoadSettings(bus, state.DeviceIndex);
  if (OpenBusWithEthernetFallback(bus, state.DeviceIndex) != kResultOk) return kResultNoLink;
  program.History.Reached(bus.Interface);

  if (bus.Interface == BusInterface::ETH) {
    UpdateDeviceServer(bus, state.DeviceIndex, state.ServerDeviceType);
  }

  DeviceInfo info;
  if (ResultCode read = ReadDeviceInfo(bus, info); read != kResultOk) return Finish(bus, read);

  const FirmwareVersion mcu = FirmwareVersion::FromPacked(info.McuVersion);
  const FirmwareVersion fpga = FirmwareVersion::FromPacked(info.FpgaVersion);
  program.History.Identified(info, PrintIdentity(program, info, mcu, fpga));

  if (ResultCode tooOld = MinimumVersionResult(mcu, fpga); tooOld != kResultOk) {
    return Finish(bus, tooOld);
  }
  if (RefusedByLimits(program, mcu, fpga)) return Finish(bus, kResultOk);

  UpdatePlan plan;
  const PlanningContext planning{program.Host, state.ModelTable, state.ForceUpdate,
                                 state.ServerDeviceType};
  ResultCode planResult = PlanUpdate(planning, info.HardwareCode, info.ModelCode, mcu, fpga, plan);

  // From here on the run holds no link: every procedure opens its own.
  CloseBus(bus);

  std::string prompt;
  if (plan.UpdateMcu || plan.UpdateFpga) {
    out << std::endl;
    prompt = "Press Enter to update firmware\n";
  } else if (!plan.GnssImagePath.empty()) {
    prompt = "Press Enter to try updating GNSS firmware\n";
  } else {
    return kResultNoImages;
  }
  WaitForEnter(program.Host, prompt);

  return RunComponentSequence(plan, planResult, info.McuVersion, ProgramDispatcher(program));
}

}  // namespace vesk

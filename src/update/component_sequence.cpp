#include "update/component_sequence.h"

#include <ostream>

#include "update/fpga_update.h"
#include "update/gnss_update.h"
#include "update/mcu_update.h"

namespace vesk {

namespace {

constexpr int kMaxAttempts = 3;
constexpr std::chrono::milliseconds kPauseBeforeAttempt{100};

// MCU firmware from 0.55.32 on drives the GNSS receiver itself; an update
// that goes back below it must update the receiver first, while the
// installed MCU can still do it.
constexpr uint32_t kGnssAwareMcuVersion = 0x3720;

}  // namespace

ComponentDispatcher::Procedure ProgramProcedures(Platform& host, int32_t deviceIndex) {
  return [&host, deviceIndex](UpdateComponent component, const std::string& path) {
    switch (component) {
      case UpdateComponent::MCU:
        return RunMcuUpdate(host, deviceIndex, path);
      case UpdateComponent::FPGA:
        return RunFpgaUpdate(host, deviceIndex, path);
      default:
        return RunGnssUpdate(host, deviceIndex, path);
    }
  };
}

ComponentDispatcher::ComponentDispatcher(Platform& host, int32_t deviceIndex)
    : host_(host), procedure_(ProgramProcedures(host, deviceIndex)) {}

ComponentDispatcher::ComponentDispatcher(Platform& host, Procedure procedure)
    : host_(host), procedure_(std::move(procedure)) {}

ResultCode ComponentDispatcher::Dispatch(UpdateComponent component,
                                         const std::string& path) const {
  return procedure_(component, path);
}

ResultCode RunComponentUpdate(const ComponentDispatcher& dispatcher, UpdateComponent component,
                              const std::string& path) {
  std::ostream& out = dispatcher.Host().Out();
  const char* name = DisplayName(component);
  for (int attempt = 1;; ++attempt) {
    dispatcher.Host().Pause(kPauseBeforeAttempt);
    ResultCode result = dispatcher.Dispatch(component, path);
    if (result == kResultOk) {
      out << name << " firmware update completed" << std::endl;
      return kResultOk;
    }
    if (component == UpdateComponent::FPGA) {
      // The FPGA is left without a valid image: only the operator can recover it.
      out << "\n\n" << name << " firmware update failed: " << result << "\n"
          << "Please reconnect the data cable of the device and restart Updater." << std::endl;
      return kResultFpgaFailed;
    }
    out << name << " firmware update failed: " << result << std::endl;
    bool refused = result == kResultNotAllowed ||
                   (component == UpdateComponent::MCU && result == kResultNoReturnAfterRestart);
    if (refused) return result;
    if (attempt == kMaxAttempts) {
      return component == UpdateComponent::MCU ? kResultMcuFailed : kResultGnssFailed;
    }
  }
}

ResultCode RunComponentSequence(const UpdatePlan& plan, ResultCode planResult,
                                uint32_t installedMcuVersion,
                                const ComponentDispatcher& dispatcher) {
  std::ostream& out = dispatcher.Host().Out();
  ResultCode mcu = kResultOk;
  ResultCode fpga = kResultOk;
  ResultCode gnss = kResultOk;
  bool gnssDone = false;
  const bool haveGnss = !plan.GnssImagePath.empty();

  if (haveGnss && installedMcuVersion >= kGnssAwareMcuVersion &&
      plan.NewMcuVersion < kGnssAwareMcuVersion) {
    gnss = RunComponentUpdate(dispatcher, UpdateComponent::GNSS, plan.GnssImagePath);
    gnssDone = true;
    out << std::endl;
  }
  if (plan.UpdateMcu) {
    mcu = RunComponentUpdate(dispatcher, UpdateComponent::MCU, plan.McuImagePath);
    out << std::endl;
  }
  if (haveGnss && mcu == kResultOk && !gnssDone) {
    gnss = RunComponentUpdate(dispatcher, UpdateComponent::GNSS, plan.GnssImagePath);
    out << std::endl;
  }
  if (plan.UpdateFpga) {
    fpga = RunComponentUpdate(dispatcher, UpdateComponent::FPGA, plan.FpgaImagePath);
    out << std::endl;
  }

  int failed = (mcu != kResultOk ? kComponentBitMcu : 0) |
               (fpga != kResultOk ? kComponentBitFpga : 0) |
               (gnss != kResultOk ? kComponentBitGnss : 0);
  return failed == 0 ? planResult : ComponentFailureCode(failed);
}

}  // namespace vesk

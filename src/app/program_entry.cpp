#include "app/program_entry.h"

#include <ostream>

#include "app/command_line.h"
#include "app/console_prompt.h"
#include "app/result_messages.h"
#include "app/update_run.h"
#include "catalog/model_table.h"
#include "catalog/update_limits.h"
#include "update/controller/controller_update.h"

namespace vesk {

namespace {

constexpr int kVersion[] = {0, 55, 61, 13};

constexpr const char* kSafetyNotes[] = {
    "Please read the following notes carefully before starting the update.",
    "1.Ensure only one VESK device is connected to the PC.",
    "2.Connect the RB series device to USB 2.0 or USB 3.0 port.",
    "3.Or connect the KT series device to Ethernet port.",
    "4.Do not disconnect the device during the update process.",
    "5.Disconnecting during the update may render the device unusable.",
};

void PrintBanner(std::ostream& out) {
  out << "VESK Firmware Updater " << kVersion[0] << "." << kVersion[1] << "." << kVersion[2] << "."
      << kVersion[3] << std::endl;
  out << std::endl;
  for (const char* note : kSafetyNotes) out << note << std::endl;
  out << std::endl;
}

void LoadLimits(Program& program) {
  ProgramState& state = program.State;
  std::string path = PathBesideExecutable(program.Host, "FirmwareUpdateLimit.csv");
  if (LoadLimitsFile(path, state.UpdateLimits, program.Host.Err()) == kResultOk) return;
  state.LimitsFromFile = false;
  state.BuiltInLimitsLoaded = LoadBuiltInLimits(state.UpdateLimits);
  program.Host.Out() << "FirmwareUpdateLimit.csv not found. Now, the limitations for firmware "
                        "updates are mainly defined by the program.\n"
                     << std::endl;
}

// Prints the sentence of a non-zero result (followed by an empty line) and
// returns the code that stands afterwards.
ResultCode Report(Program& program, ResultCode result) {
  if (result == kResultOk) return result;
  std::string text;
  result = DescribeResult(program, result, text);
  program.Host.Out() << text << "\n" << std::endl;
  return result;
}

}  // namespace

int RunProgram(Program& program, int argc, const char* const* argv) {
  ProgramState& state = program.State;
  ApplyArguments(argc, argv, state);
  PrintBanner(program.Host.Out());
  LoadLimits(program);
  state.ModelTable = BuildModelTable();

  ResultCode result = Report(program, RunUpdate(program));

  // An instrument on Ethernet has no USB controller of its own to update.
  if (program.ProgramBus.Interface != BusInterface::ETH) {
    const ControllerUpdateSettings settings{state.DeviceIndex, state.TargetDriverType,
                                            state.ForceUpdate, state.NoLimit};
    result = Report(program, UpdateControllerFirmware(program.ProgramBus, settings));
  }

  WaitForEnter(program.Host, "Press Enter to end");
  return result;
}

}  // namespace vesk

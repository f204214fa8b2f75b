#include "app/program_entry.h"

#include <ostream>

#include "app/command_line.h"
#include "app/console_prompt.h"
#include "app/result_messages.h"
#include "app/run_history.h"
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

constexpr const char kUsage[] =
    "Usage: vesk-updater [-F | -f | nolimit] [0 | 1]\n"
    "       vesk-updater --help | --version\n"
    "\n"
    "Updates the firmware of the one VESK instrument attached to this PC: RB series\n"
    "over USB; KT, VQ and VQZ units over Ethernet.\n"
    "\n"
    "  -F, -f    write MCU and FPGA images even when the instrument has their version;\n"
    "            allow switching the USB controller firmware to the other type\n"
    "  nolimit   skip the permitted-version tests of Ethernet instruments\n"
    "  0 | 1     (second argument) USB controller firmware type: vesk (0), cypress (1)\n"
    "\n"
    "Files beside the executable:\n"
    "  Settings.ini             link (USB, ETH, VIRTUAL), USB index, address, port, timeout\n"
    "  FirmwareUpdateLimit.csv  permitted versions (a built-in table otherwise)\n"
    "  data/Firmware/           MCU, FPGA, GNSS and USB controller images\n"
    "  data/KT/, data/VQ/       server and desktop packages for Ethernet instruments\n"
    "\n"
    "Exit status: 0 on success, otherwise the low eight bits of the result whose\n"
    "sentence was printed last (255: device not connected).\n";

void PrintVersion(std::ostream& out) {
  out << kVersion[0] << "." << kVersion[1] << "." << kVersion[2] << "." << kVersion[3];
}

void PrintBanner(std::ostream& out) {
  out << "VESK Firmware Updater ";
  PrintVersion(out);
  out << std::endl;
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

// Appends the run to the history when it reached an instrument. A history
// that cannot be written costs one line on standard error, nothing more.
void RecordRun(Program& program, ResultCode result) {
  if (!program.HistoryFile || !program.History.ReachedInstrument()) return;
  std::string why;
  if (!AppendHistoryLine(*program.HistoryFile, program.History.JsonLine(result), why)) {
    program.Host.Err() << "Run history not written to " << *program.HistoryFile << ": " << why
                       << std::endl;
  }
}

}  // namespace

int RunProgram(Program& program, int argc, const char* const* argv) {
  ProgramState& state = program.State;
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--help") {
    program.Host.Out() << kUsage;
    return kResultOk;
  }
  if (first == "--version") {
    program.Host.Out() << "vesk-updater ";
    PrintVersion(program.Host.Out());
    program.Host.Out() << std::endl;
    return kResultOk;
  }
  program.History.Started(std::chrono::system_clock::now());
  ApplyArguments(argc, argv, state);
  PrintBanner(program.Host.Out());
  LoadLimits(program);
  state.ModelTable = BuildModelTable();

  ResultCode result = Report(program, RunUpdate(program));

  // An instrument on Ethernet has no USB controller of its own to update.
  if (program.ProgramBus.Interface != BusInterface::ETH) {
    const ControllerUpdateSettings settings{state.DeviceIndex, state.TargetDriverType,
                                            state.ForceUpdate, state.NoLimit};
    ResultCode controller = UpdateControllerFirmware(program.ProgramBus, settings);
    program.History.ControllerStep(controller);
    result = Report(program, controller);
  }

  RecordRun(program, result);
  WaitForEnter(program.Host, "Press Enter to end");
  return result;
}

}  // namespace vesk

#include "app/result_messages.h"

#include <iomanip>
#include <istream>
#include <map>
#include <optional>
#include <vector>
#include <ostream>

#include "catalog/update_plan.h"
#include "update/component_sequence.h"

namespace vesk {

namespace {

constexpr int kMaxModelAnswers = 5;

struct Sentence {
  ResultCode Code;
  const char* Text;
};

constexpr Sentence kSentences[] = {
    {kResultNoLink, "Device not connected."},
    {-10010, "MCU Firmware is too old to update"},
    {-10011, "FPGA Firmware is too old to update"},
    {-10012, "MCU and FPGA Firmware is too old to update"},
    {-10013, "No MCU firmware is available"},
    {-10014, "No FPGA firmware is available"},
    {-10015, "No MCU and FPGA firmware is available"},
    {-10016, "MCU firmware update failed."},
    {-10017, "FPGA firmware update failed."},
    {-10018, "MCU and FPGA firmware update failed."},
    {-10019, "GNSS firmware update failed."},
    {-10020, "MCU and GNSS firmware update failed."},
    {-10021, "FPGA and GNSS firmware update failed."},
    {-10022, "MCU, FPGA and GNSS firmware update failed."},
    {-10023, "No GNSS firmware is available"},
    {-10024, "No MCU and GNSS firmware is available"},
    {-10025, "No FPGA and GNSS firmware is available"},
    {-10026, "No MCU, FPGA and GNSS firmware is available"},
    {-10029, "FX3 driver is too old to update"},
    {-10030, "No FX3 driver is available"},
    {-10031, "FX3 driver update failed."},
};

// The tree branch drawn before each model in the device map ("├─" in UTF-8).
constexpr const char* kBranch = "\xE2\x94\x9C\xE2\x94\x80";

std::string FamilyOf(const std::string& model) { return model.substr(0, model.find('_')); }

void PrintDeviceMap(Program& program) {
  std::ostream& out = program.Host.Out();
  std::map<std::string, std::vector<std::string>> families;  // byte-wise family order
  for (const auto& [name, code] : program.State.ModelTable) families[FamilyOf(name)].push_back(name);
  out << "\nDevice Map (Grouped)\n" << "====================\n";
  for (const auto& [family, models] : families) {
    out << family << " Series:\n";
    for (const auto& name : models) {
      out << "  " << kBranch << " " << std::left << std::setw(10) << name << std::right << ": "
          << program.State.ModelTable.at(name) << "\n";
    }
  }
  out << "====================\n";
}

// Asks for a model name or code up to five times; the chosen code, or
// nothing after five wrong answers.
std::optional<uint16_t> AskForModel(Program& program) {
  std::ostream& out = program.Host.Out();
  std::map<uint16_t, std::string> byCode;
  for (const auto& [name, code] : program.State.ModelTable) byCode.emplace(code, name);
  for (int answer = 0; answer < kMaxModelAnswers; ++answer) {
    out << "Unable to update firmware, please input device type or model (e.g. T70_R4 or 54):"
        << std::flush;
    std::string word;
    program.Host.In() >> word;
    if (auto row = program.State.ModelTable.find(word); row != program.State.ModelTable.end()) {
      return row->second;
    }
    for (const auto& [code, name] : byCode) {
      if (word == std::to_string(code)) return code;
    }
    out << "Device model input error, please try again." << "\n\n" << std::flush;
  }
  return std::nullopt;
}

// Plans the update for a model the operator named and runs its components
// in the order FPGA, MCU, GNSS without asking again.
ResultCode UpdateNamedModel(Program& program, uint16_t modelCode) {
  std::ostream& out = program.Host.Out();
  ProgramState& state = program.State;
  UpdatePlan plan;
  const PlanningContext planning{program.Host, state.ModelTable, state.ForceUpdate,
                                 state.ServerDeviceType};
  ResultCode planned = PlanUpdate(planning, 0, modelCode, {}, {}, plan);
  if (planned != kResultOk) {
    out << std::endl;
    out << ResultSentence(planned) << "\n" << std::endl;
  }

  const ComponentDispatcher dispatcher = ProgramDispatcher(program);
  ResultCode fpga = kResultOk;
  ResultCode mcu = kResultOk;
  ResultCode gnss = kResultOk;
  if (plan.UpdateFpga) {
    fpga = RunComponentUpdate(dispatcher, UpdateComponent::FPGA, plan.FpgaImagePath);
    out << std::endl;
  }
  if (fpga == kResultOk) {
    if (plan.UpdateMcu) {
      mcu = RunComponentUpdate(dispatcher, UpdateComponent::MCU, plan.McuImagePath);
      out << std::endl;
    }
    if (!plan.GnssImagePath.empty() && mcu == kResultOk) {
      gnss = RunComponentUpdate(dispatcher, UpdateComponent::GNSS, plan.GnssImagePath);
      out << std::endl;
    }
  }
  int failed = (mcu != kResultOk ? kComponentBitMcu : 0) |
               (fpga != kResultOk ? kComponentBitFpga : 0) |
               (gnss != kResultOk ? kComponentBitGnss : 0);
  return failed == 0 ? kResultTransferFailed : ComponentFailureCode(failed);
}

}  // namespace

std::string ResultSentence(ResultCode code) {
  if (code == kResultOk) return "";
  for (const auto& sentence : kSentences) {
    if (sentence.Code == code) return sentence.Text;
  }
  return "Other error code: " + std::to_string(code);
}

ResultCode DescribeResult(Program& program, ResultCode code, std::string& text) {
  if (code == kResultOk) return code;
  if (code != kResultTransferFailed) {
    text = ResultSentence(code);
    return code;
  }
  PrintDeviceMap(program);
  std::optional<uint16_t> model = AskForModel(program);
  if (!model) {
    text = "Multiple incorrect inputs, please restart Updater.";
    return kResultTransferFailed;
  }
  return UpdateNamedModel(program, *model);
}

}  // namespace vesk

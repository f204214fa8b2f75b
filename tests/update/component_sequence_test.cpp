#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "support/recording_platform.h"
#include "update/component_sequence.h"

namespace vesk {
namespace {

using test::RecordingPlatform;

// Procedures that answer from a script: each component's results in order
// (the last one repeats), recording the order of the calls.
struct ScriptedProcedures {
  std::map<UpdateComponent, std::vector<ResultCode>> Results;
  std::vector<std::string> Calls;

  ComponentDispatcher Dispatcher(Platform& platform) {
    return ComponentDispatcher(platform, [this](UpdateComponent c, const std::string& path) {
      Calls.push_back(std::string(DisplayName(c)) + ":" + path);
      auto& script = Results[c];
      size_t attempt = std::count_if(Calls.begin(), Calls.end(), [&](const std::string& call) {
        return call.rfind(DisplayName(c), 0) == 0;
      });
      if (script.empty()) return kResultOk;
      return script[std::min(attempt, script.size()) - 1];
    });
  }
};

UpdatePlan FullPlan(uint32_t newMcuVersion = 0x373D) {
  UpdatePlan plan;
  plan.UpdateMcu = true;
  plan.UpdateFpga = true;
  plan.McuImagePath = "mcu.bin";
  plan.FpgaImagePath = "fpga.rpd";
  plan.GnssImagePath = "gnss.bin";
  plan.NewMcuVersion = newMcuVersion;
  return plan;
}

TEST(ComponentSequenceTest, AllSucceedingReturnsThePlanningResult) {
  RecordingPlatform platform;
  ScriptedProcedures procedures;
  ResultCode result = RunComponentSequence(FullPlan(), kResultNoGnssImage, 0x3714,
                                           procedures.Dispatcher(platform));
  EXPECT_EQ(result, kResultNoGnssImage);
  EXPECT_EQ(procedures.Calls,
            (std::vector<std::string>{"MCU:mcu.bin", "GNSS:gnss.bin", "FPGA:fpga.rpd"}));
  EXPECT_EQ(platform.OutText(),
            "MCU firmware update completed\n\n"
            "GNSS firmware update completed\n\n"
            "FPGA firmware update completed\n\n");
  EXPECT_EQ(platform.Pauses(), std::vector<std::chrono::milliseconds>(3, std::chrono::milliseconds(100)));
}

TEST(ComponentSequenceTest, OlderMcuImageSendsTheGnssImageFirstAndOnlyOnce) {
  RecordingPlatform platform;
  ScriptedProcedures procedures;
  procedures.Results[UpdateComponent::GNSS] = {-23};
  // Installed MCU 0.55.40, new image 0.55.20.
  ResultCode result =
      RunComponentSequence(FullPlan(0x3714), kResultOk, 0x3728, procedures.Dispatcher(platform));
  EXPECT_EQ(result, ComponentFailureCode(kComponentBitGnss));
  EXPECT_EQ(procedures.Calls, (std::vector<std::string>{"GNSS:gnss.bin", "GNSS:gnss.bin",
                                                        "GNSS:gnss.bin", "MCU:mcu.bin",
                                                        "FPGA:fpga.rpd"}));
  EXPECT_EQ(platform.OutText(),
            "GNSS firmware update failed: -23\n"
            "GNSS firmware update failed: -23\n"
            "GNSS firmware update failed: -23\n\n"
            "MCU firmware update completed\n\n"
            "FPGA firmware update completed\n\n");
}

TEST(ComponentSequenceTest, FailingMcuIsRetriedThriceSkipsGnssButNotFpga) {
  RecordingPlatform platform;
  ScriptedProcedures procedures;
  procedures.Results[UpdateComponent::MCU] = {-8};
  ResultCode result =
      RunComponentSequence(FullPlan(), kResultOk, 0x3714, procedures.Dispatcher(platform));
  EXPECT_EQ(result, -10016);
  EXPECT_EQ(procedures.Calls, (std::vector<std::string>{"MCU:mcu.bin", "MCU:mcu.bin",
                                                        "MCU:mcu.bin", "FPGA:fpga.rpd"}));
  EXPECT_EQ(platform.OutText(),
            "MCU firmware update failed: -8\n"
            "MCU firmware update failed: -8\n"
            "MCU firmware update failed: -8\n\n"
            "FPGA firmware update completed\n\n");
}

TEST(ComponentSequenceTest, RefusalsAreNotRetried) {
  for (ResultCode refusal : {kResultNotAllowed, kResultNoReturnAfterRestart}) {
    RecordingPlatform platform;
    ScriptedProcedures procedures;
    procedures.Results[UpdateComponent::MCU] = {refusal, kResultOk};
    UpdatePlan plan = FullPlan();
    plan.UpdateFpga = false;
    EXPECT_EQ(RunComponentSequence(plan, kResultOk, 0x3714, procedures.Dispatcher(platform)),
              -10016);
    EXPECT_EQ(procedures.Calls, std::vector<std::string>{"MCU:mcu.bin"});
    EXPECT_EQ(platform.OutText(),
              "MCU firmware update failed: " + std::to_string(refusal) + "\n\n");
  }
  RecordingPlatform platform;
  ScriptedProcedures procedures;
  procedures.Results[UpdateComponent::GNSS] = {kResultNotAllowed, kResultOk};
  EXPECT_EQ(RunComponentUpdate(procedures.Dispatcher(platform), UpdateComponent::GNSS, "g"),
            kResultNotAllowed);
  EXPECT_EQ(procedures.Calls.size(), 1u);
}

TEST(ComponentSequenceTest, FpgaFailureAsksForReconnectionWithoutRetry) {
  RecordingPlatform platform;
  ScriptedProcedures procedures;
  procedures.Results[UpdateComponent::FPGA] = {-21, kResultOk};
  UpdatePlan plan;
  plan.UpdateFpga = true;
  plan.FpgaImagePath = "f.jic";
  EXPECT_EQ(RunComponentSequence(plan, kResultOk, 0, procedures.Dispatcher(platform)), -10017);
  EXPECT_EQ(procedures.Calls.size(), 1u);
  EXPECT_EQ(platform.OutText(),
            "\n\nFPGA firmware update failed: -21\n"
            "Please reconnect the data cable of the device and restart Updater.\n\n");
}

TEST(ComponentSequenceTest, FailureMaskCombinesAllThreeComponents) {
  RecordingPlatform platform;
  ScriptedProcedures procedures;
  procedures.Results[UpdateComponent::GNSS] = {-1};
  procedures.Results[UpdateComponent::MCU] = {-20};
  procedures.Results[UpdateComponent::FPGA] = {-8};
  EXPECT_EQ(RunComponentSequence(FullPlan(0x3714), kResultOk, 0x3728,
                                 procedures.Dispatcher(platform)),
            -10022);
}

}  // namespace
}  // namespace vesk

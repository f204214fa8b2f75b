#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "net/instrument_on_loopback.h"
#include "net/services/device_server_update.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"

namespace vesk {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

constexpr int32_t kTimeoutMs = 2000;

Bytes Filled(size_t size, uint8_t value) { return Bytes(size, value); }

Bytes Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

int CountOf(const std::vector<milliseconds>& pauses, milliseconds length) {
  return static_cast<int>(std::count(pauses.begin(), pauses.end(), length));
}

// The server files beside the executable: sizes chosen so that each part of
// a message can be told from the others.
class DeviceServerUpdate : public testing::Test {
 protected:
  DeviceServerUpdate() : platform(folder.Path()) {
    folder.Write("data/KT/ZIVidize.zip", Text(Filled(300, 0x77)));
    folder.Write("data/KT/TempVersion/ETH_server_Temp", Text(Filled(100, 0x22)));
    folder.Write("data/KT/TempVersion/IAP_BOOT_RBK.bin", Text(Filled(200, 0xCC)));
    folder.Write("data/KT/TempVersion/install_rirazid_lib.sh", Text(Filled(50, 0x66)));
  }

  void Open(const sim::InstrumentOptions& options) {
    model.SetOptions(options);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    test::AimAtLoopback(bus, instrument.Port(), kTimeoutMs);
    ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  }

  // The payloads of every command `id` the instrument received.
  std::vector<Bytes> PayloadsOf(int32_t id) const {
    std::vector<Bytes> payloads;
    for (const auto& c : model.Commands()) {
      if (c.Id == id) payloads.push_back(c.Payload);
    }
    return payloads;
  }

  test::TempFolder folder;
  test::RecordingPlatform platform;
  Bus bus{platform};
  sim::InstrumentModel model;
  sim::EthernetInstrument instrument{model};
  int32_t serverType = 0;
};

TEST_F(DeviceServerUpdate, ServerThatDeclinesUpdatesGetsNothingButTheQuery) {
  sim::InstrumentOptions options;
  options.ServerType = 2;
  Open(options);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultServerDeclinesUpdate);
  EXPECT_EQ(serverType, 2);
  EXPECT_EQ(platform.OutText(), "This device will not update ZIVidize\n\n");
  EXPECT_EQ(model.CommandIds(), (std::vector<int32_t>{1, 102}));
}

TEST_F(DeviceServerUpdate, AnyMissingServerFileEndsSilentlyAfterTheQuery) {
  for (const char* missing :
       {"data/KT/ZIVidize.zip", "data/KT/TempVersion/ETH_server_Temp",
        "data/KT/TempVersion/install_rirazid_lib.sh", "data/KT/TempVersion/IAP_BOOT_RBK.bin"}) {
    SCOPED_TRACE(missing);
    test::TempFolder other;
    for (const char* file :
         {"data/KT/ZIVidize.zip", "data/KT/TempVersion/ETH_server_Temp",
          "data/KT/TempVersion/install_rirazid_lib.sh", "data/KT/TempVersion/IAP_BOOT_RBK.bin"}) {
      if (std::string(file) != missing) other.Write(file, "x");
    }
    other.Write("data/VQ/DeskView4_9.zip", "x");
    test::RecordingPlatform platform(other.Path());
    sim::InstrumentOptions options;
    options.ServerType = 1;
    options.InstalledPackage = "DeskView4_1.0";
    sim::InstrumentModel model(options);
    sim::EthernetInstrument instrument(model);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    Bus bus(platform);
    test::AimAtLoopback(bus, instrument.Port(), kTimeoutMs);
    ASSERT_EQ(OpenBus(bus, 0), kResultOk);
    EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
    EXPECT_EQ(serverType, 1);
    EXPECT_EQ(model.CommandIds(), (std::vector<int32_t>{1, 102}));
    EXPECT_EQ(platform.OutText(), "");
  }
}

TEST_F(DeviceServerUpdate, BootImageStepSendsTemporaryServerAndBootImageThenTheServerPackage) {
  sim::InstrumentOptions options;
  options.StageStatus = 0;
  Open(options);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);

  auto packages = PayloadsOf(101);
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(packages[0], Concat({{0x02}, Le32(100), Filled(100, 0x22), {0x0C}, Le32(200),
                                 Filled(200, 0xCC)}));
  EXPECT_EQ(packages[0].size(), 310u);
  EXPECT_EQ(packages[1], Concat({{0x07}, Le32(300), Filled(300, 0x77)}));
  EXPECT_EQ(model.CommandIds(),
            (std::vector<int32_t>{1, 102, 1000, 101, 1, 101, 1, 102}));
  EXPECT_EQ(model.Connections(), 3);
  EXPECT_EQ(CountOf(platform.Pauses(), milliseconds(1000)), 29 + 59);

  std::string expected = "ZIVidize need to update. Step1: it will take about 30 seconds\n";
  for (int i = 1; i <= 29; ++i) {
    expected += "\rReconnecting device, please wait about 30s: " + std::to_string(i);
  }
  expected += "\nZIVidize need to update. Step2: it will take about 60 seconds\n";
  for (int i = 1; i <= 59; ++i) {
    expected += "\rReconnecting device, please wait about 60s: " + std::to_string(i);
  }
  expected += "\n\n";
  EXPECT_EQ(platform.OutText(), expected);
  EXPECT_EQ(serverType, 0);
}

TEST_F(DeviceServerUpdate, StageAnswerChoosesThePreparatoryStep) {
  struct Case {
    int32_t stage;
    std::vector<uint8_t> firstStepTags;  // empty: no preparatory step
    int oneSecondPauses;
  };
  for (const Case& c : {Case{2, {2, 12}, 29 + 59}, Case{1, {2, 6}, 19 + 59}, Case{3, {}, 59}}) {
    SCOPED_TRACE("stage " + std::to_string(c.stage));
    test::RecordingPlatform platform(folder.Path());
    sim::InstrumentOptions options;
    options.StageStatus = c.stage;
    sim::InstrumentModel model(options);
    sim::EthernetInstrument instrument(model);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    Bus bus(platform);
    test::AimAtLoopback(bus, instrument.Port(), kTimeoutMs);
    ASSERT_EQ(OpenBus(bus, 0), kResultOk);
    EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);

    auto packages = model.ServerPackages();
    ASSERT_EQ(packages.size(), c.firstStepTags.empty() ? 1u : 2u);
    if (!c.firstStepTags.empty()) {
      ASSERT_EQ(packages[0].Parts.size(), 2u);
      EXPECT_EQ(packages[0].Parts[0].Tag, c.firstStepTags[0]);
      EXPECT_EQ(packages[0].Parts[1].Tag, c.firstStepTags[1]);
      EXPECT_EQ(packages[0].Parts[1].File.size(), c.firstStepTags[1] == 6 ? 50u : 200u);
    }
    ASSERT_EQ(packages.back().Parts.size(), 1u);
    EXPECT_EQ(packages.back().Parts[0].Tag, 7);
    EXPECT_EQ(packages.back().Parts[0].File, Filled(300, 0x77));
    EXPECT_EQ(CountOf(platform.Pauses(), milliseconds(1000)), c.oneSecondPauses);
  }
}

TEST_F(DeviceServerUpdate, ServerSilentToTheStageQueryGetsTheInstallScriptStep) {
  sim::InstrumentOptions options;
  options.StageStatus.reset();
  Open(options);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
  auto packages = model.ServerPackages();
  ASSERT_EQ(packages.size(), 2u);
  ASSERT_EQ(packages[0].Parts.size(), 2u);
  EXPECT_EQ(packages[0].Parts[1].Tag, 6);
  EXPECT_NE(platform.OutText().find("Step1: it will take about 20 seconds\n"), std::string::npos);
}

TEST_F(DeviceServerUpdate, SilentServerLeavesTheTypeUnknownAndIsStillUpdated) {
  folder.Write("data/KT/TempVersion/IAP_BOOT_RBK.bin", "");
  sim::InstrumentOptions options;
  options.ServerType.reset();
  options.StageStatus = 3;
  Open(options);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
  EXPECT_EQ(serverType, -1000);
  EXPECT_EQ(model.ServerPackages().size(), 1u);  // the update went on
}

TEST_F(DeviceServerUpdate, NewerDesktopPackageOfTheInstalledFamilyIsSentAndNothingElse) {
  folder.Write("data/VQ/DeskView4_1.2.0.zip", "installed");
  folder.Write("data/VQ/DeskView4_1.3.0.zip", "newer package");
  folder.Write("data/VQ/Other_2.0.zip", "other family");
  folder.Write("data/VQ/DeskView4", "no version");
  folder.MakeFolder("data/VQ/DeskView4_2.0.zip");  // a folder is never a package
  sim::InstrumentOptions options;
  options.StageStatus = 3;
  options.ServerType = 1;
  options.InstalledPackage = "DeskView4_1.2.0";
  Open(options);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
  EXPECT_EQ(serverType, 1);

  auto messages = PayloadsOf(103);
  ASSERT_EQ(messages.size(), 2u);
  const std::string name = "DeskView4_1.3.0.zip";
  const Bytes expected = Concat({Le32(static_cast<uint32_t>(name.size())), Bytes(name.begin(), name.end()),
                                 Le32(4 + 13), Le32(13), Bytes({'n', 'e', 'w', 'e', 'r', ' ', 'p', 'a',
                                                                'c', 'k', 'a', 'g', 'e'})});
  auto sent = model.DesktopPackages();
  std::vector<std::string> names{sent[0].Name, sent[1].Name};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"DeskView4", "DeskView4_1.3.0.zip"}));
  EXPECT_TRUE(messages[0] == expected || messages[1] == expected);
  const std::string out = platform.OutText();
  EXPECT_NE(out.find("\rUpdating DeskView4, please wait a minute: 1\nDeskView4 update complete\n"),
            std::string::npos);
}

TEST_F(DeviceServerUpdate, InstalledNameLongerThanTheReplyIsCutAtTheBlockEnd) {
  folder.Write("data/VQ/Huge_1.zip", "x");
  sim::InstrumentOptions options;
  options.StageStatus = 3;
  options.ServerType = 1;
  options.InstalledPackage = "Huge_" + std::string(9000, 'n');  // claims 9005 bytes
  Open(options);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
  ASSERT_EQ(model.DesktopPackages().size(), 1u);
  EXPECT_EQ(model.DesktopPackages()[0].Name, "Huge_1.zip");
}

TEST_F(DeviceServerUpdate, DesktopInstallWithoutAnswerIsWaitedForABoundedTime) {
  folder.Write("data/VQ/DeskView4_1.3.0.zip", "newer");
  sim::InstrumentOptions options;
  options.StageStatus = 3;
  options.ServerType = 1;
  options.InstalledPackage = "DeskView4_1.2.0";
  options.Faults[103].Drop = true;  // the link fails at once: every read ends immediately
  Open(options);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
  const std::string out = platform.OutText();
  EXPECT_NE(out.find("please wait a minute: " + std::to_string(kDesktopInstallReads) +
                     "\nDeskView4 update not confirmed\n"),
            std::string::npos);
  EXPECT_EQ(out.find("please wait a minute: " + std::to_string(kDesktopInstallReads + 1)),
            std::string::npos);
}

TEST_F(DeviceServerUpdate, InstrumentThatDoesNotComeBackIsReportedAndTheUpdateGoesOn) {
  sim::InstrumentOptions options;
  options.StageStatus = 3;
  options.RefuseAfterRestart = milliseconds(5000);
  Open(options);
  bus.NetTimeoutMs = 100;
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
  const std::string failed = "After update ZIVidize Step2, open device failed: 10054\n";
  EXPECT_NE(platform.OutText().find("\n\n" + failed + failed + failed), std::string::npos);
  EXPECT_EQ(serverType, -1000);  // the desktop query could not be sent
  EXPECT_EQ(model.CommandIds(), (std::vector<int32_t>{1, 102, 1000, 101}));
}

TEST_F(DeviceServerUpdate, PackageThatCannotBeReadIsNotSent) {
  test::TempFolder other;
  other.MakeFolder("data/KT/ZIVidize.zip");  // opens, but reads nothing
  other.Write("data/KT/TempVersion/ETH_server_Temp", "t");
  other.Write("data/KT/TempVersion/install_rirazid_lib.sh", "s");
  other.Write("data/KT/TempVersion/IAP_BOOT_RBK.bin", "b");
  test::RecordingPlatform platform(other.Path());
  Bus bus(platform);
  sim::InstrumentOptions options;
  options.StageStatus = 3;
  Open(options);
  test::AimAtLoopback(bus, instrument.Port(), kTimeoutMs);
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultFileUnreadable);
  EXPECT_TRUE(model.ServerPackages().empty());
  EXPECT_TRUE(PayloadsOf(101).empty());
}

TEST(DeviceServerUpdateOtherLinks, LinkOtherThanEthernetIsLeftAlone) {
  test::RecordingPlatform platform;
  Bus bus(platform);
  bus.Interface = BusInterface::VIRTUAL;
  int32_t serverType = 5;
  EXPECT_EQ(UpdateDeviceServer(bus, 0, serverType), kResultOk);
  EXPECT_EQ(serverType, 5);
  EXPECT_FALSE(bus.Ethernet);
}

}  // namespace
}  // namespace vesk

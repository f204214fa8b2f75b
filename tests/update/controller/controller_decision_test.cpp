// The USB controller ("FX3 driver") update against the simulated USB
// instrument on an in-memory host: which image is chosen, when it is
// installed, what the operator reads, and what the controller received.

#include <gtest/gtest.h>

#include <optional>

#include "catalog/firmware_version.h"
#include "common/byte_order.h"
#include "sim/instrument_model.h"
#include "sim/usb_front_end.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "update/controller/controller_update.h"
#include "usb/fake_usb_host.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

constexpr uint16_t kInstrumentProduct = 0x00F0;
constexpr uint16_t kCypressProduct = 0x00F1;

// A well-formed normal-firmware FX3 image (type 0xB0) with one section.
std::vector<uint8_t> ControllerImage(uint32_t seed) {
  std::vector<uint8_t> image = {'C', 'Y', 0x1C, 0xB0};
  auto put = [&image](uint32_t word) {
    image.resize(image.size() + 4);
    PutLe32(&image[image.size() - 4], word);
  };
  const uint32_t words = 700;  // a little over one 2048-byte request
  put(words);
  put(0x40000000);
  uint32_t sum = 0;
  for (uint32_t i = 0; i < words; ++i) {
    put(seed + i * 2654435761u);
    sum += seed + i * 2654435761u;
  }
  put(0);
  put(0x40000100);
  put(sum);
  return image;
}

// The firmware folder's listing in a fixed order (the file system's order is
// not under the test's control); names may be listed that are not there.
class ListingPlatform : public RecordingPlatform {
 public:
  using RecordingPlatform::RecordingPlatform;
  std::vector<std::string> ListFiles(const std::string& folder) override {
    return Listing ? *Listing : RecordingPlatform::ListFiles(folder);
  }
  std::optional<std::vector<std::string>> Listing;
};

struct Installed {
  uint32_t Version;
  uint16_t Product = kInstrumentProduct;
};

class ControllerUpdateTest : public testing::Test {
 protected:
  // Runs the controller update against an instrument whose controller runs
  // `installed`, with these image files (name, seed) in the firmware folder.
  ResultCode Run(Installed installed, const std::vector<std::pair<std::string, uint32_t>>& images,
                 ControllerUpdateSettings settings = {}) {
    for (const auto& [name, seed] : images) {
      folder_.Write("data/Firmware/" + name, ControllerImage(seed));
    }
    sim::InstrumentOptions options;
    options.Ident.ControllerVersion = installed.Version;
    model_ = std::make_unique<sim::InstrumentModel>(options);
    sim::Fx3Options identity;
    identity.ProductId = installed.Product;
    instrument_ = std::make_unique<sim::UsbInstrument>(*model_, identity);
    host_.Add({1, 4, 0x04B4, installed.Product}, instrument_->Controller());
    Bus bus(platform_);
    bus.Interface = BusInterface::USB;
    return UpdateControllerFirmware(bus, settings);
  }

  std::vector<uint8_t> Written() { return instrument_->Controller().Image(); }
  std::string Out() { return platform_.OutText(); }

  TempFolder folder_;
  ListingPlatform platform_{folder_.Path()};
  test::FakeUsbHost host_;
  ScopedUsbHost scope_{host_};
  std::unique_ptr<sim::InstrumentModel> model_;
  std::unique_ptr<sim::UsbInstrument> instrument_;
};

ControllerUpdateSettings Flags(bool force, bool noLimit, std::string target = "") {
  ControllerUpdateSettings settings;
  settings.ForceUpdate = force;
  settings.NoLimit = noLimit;
  settings.TargetDriverType = std::move(target);
  return settings;
}

struct DecisionCase {
  const char* Name;
  Installed Controller;
  std::vector<std::pair<std::string, uint32_t>> Images;
  ControllerUpdateSettings Settings;
  ResultCode Result;
  std::optional<uint32_t> WrittenSeed;  // which image reached the controller, if any
};

class ControllerDecisionTest : public ControllerUpdateTest,
                               public testing::WithParamInterface<DecisionCase> {};

TEST_P(ControllerDecisionTest, InstallsOnlyANewerImageOrAPermittedTypeChange) {
  const DecisionCase& c = GetParam();
  EXPECT_EQ(Run(c.Controller, c.Images, c.Settings), c.Result) << Out();
  if (c.WrittenSeed) {
    EXPECT_EQ(Written(), ControllerImage(*c.WrittenSeed));
    EXPECT_NE(Out().find("Update completed successfully!\n"), std::string::npos);
  } else {
    EXPECT_TRUE(Written().empty());
    EXPECT_TRUE(instrument_->Controller().ImageBlocks().empty());
  }
}

const uint32_t v0_55_2 = PackVersion(0, 55, 2), v0_55_3 = PackVersion(0, 55, 3),
               v0_55_9 = PackVersion(0, 55, 9), v0_55_10 = PackVersion(0, 55, 10);

INSTANTIATE_TEST_SUITE_P(
    Cases, ControllerDecisionTest,
    testing::Values(
        DecisionCase{"TooOldController", {v0_55_2}, {{"FX3_vesk_0.55.10.img", 1}}, {},
                     kResultControllerTooOld, std::nullopt},
        DecisionCase{"OldestUpdatableControllerGoesOn", {v0_55_3}, {{"FX3_vesk_0.55.10.img", 1}},
                     {}, kResultOk, 1},
        DecisionCase{"NewerImageWithoutFlags", {v0_55_9}, {{"FX3_vesk_0.55.10.img", 1}}, {},
                     kResultOk, 1},
        DecisionCase{"SameVersion", {v0_55_10}, {{"FX3_vesk_0.55.10.img", 1}}, {},
                     kResultNoControllerImage, std::nullopt},
        DecisionCase{"SameVersionSameTypeEvenWhenForced", {v0_55_10},
                     {{"FX3_vesk_0.55.10.img", 1}}, Flags(true, false),
                     kResultNoControllerImage, std::nullopt},
        DecisionCase{"TypeChangeWithoutFlag", {v0_55_10, kCypressProduct},
                     {{"FX3_vesk_0.55.10.img", 1}}, Flags(false, false, "vesk"),
                     kResultNoControllerImage, std::nullopt},
        DecisionCase{"TypeChangeForced", {v0_55_10, kCypressProduct},
                     {{"FX3_vesk_0.55.10.img", 1}}, Flags(true, false, "vesk"), kResultOk, 1},
        DecisionCase{"TypeChangeWithoutLimits", {v0_55_10, kCypressProduct},
                     {{"FX3_vesk_0.55.10.img", 1}}, Flags(false, true, "vesk"), kResultOk, 1},
        DecisionCase{"CypressInstalledTakesACypressImage", {v0_55_9, kCypressProduct},
                     {{"FX3_vesk_0.55.10.img", 1}, {"FX3_cypress_0.55.10.img", 2}}, {},
                     kResultOk, 2},
        DecisionCase{"NoImageOfTheTargetType", {v0_55_9}, {{"FX3_vesk_0.55.10.img", 1}},
                     Flags(true, false, "cypress"), kResultNoControllerImage, std::nullopt},
        DecisionCase{"ImageNameWithoutVersion", {v0_55_9}, {{"FX3_vesk_latest.img", 1}},
                     Flags(true, true), kResultNoControllerImage, std::nullopt}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ControllerUpdateTest, OperatorReadsVersionsTypesAndTheOutcome) {
  ASSERT_EQ(Run({v0_55_9}, {{"FX3_vesk_0.55.10.img", 1}}), kResultOk);
  const std::string out = Out();
  const std::string header =
      "FX3 driver version: 0.55.9\nFX3 driver type: vesk\n\n"
      "New FX3 driver version: 0.55.10\nThe type of fx3 driver to be updated: vesk\n\n";
  EXPECT_EQ(out.substr(0, header.size()), header);
  const std::string ending =
      "\rUpdating FX3 Driver... 100.00%\nUpdate completed successfully!\n"
      "FX3 driver has been updated to the latest version 0.55.10\n\n";
  EXPECT_EQ(out.substr(out.size() - ending.size()), ending);
  EXPECT_NE(out.find("Ready to update fx3 driver, please wait...\n"), std::string::npos);
}

TEST_F(ControllerUpdateTest, RefusalsPrintTheInstalledVersionAndAnEmptyLineWhereDue) {
  EXPECT_EQ(Run({v0_55_2}, {}), kResultControllerTooOld);
  EXPECT_EQ(Out(), "FX3 driver version: 0.55.2\n");
}

TEST_F(ControllerUpdateTest, EqualVersionEndsAfterAnEmptyLine) {
  EXPECT_EQ(Run({v0_55_10}, {{"FX3_vesk_0.55.10.img", 1}}), kResultNoControllerImage);
  EXPECT_EQ(Out(), "FX3 driver version: 0.55.10\nFX3 driver type: vesk\n\n");
}

TEST_F(ControllerUpdateTest, FirstMatchingNameInListingOrderWinsOverANewerOne) {
  platform_.Listing = {"MCU_K_0.55.61.bin", "FX3_vesk_0.55.10.img", "FX3_vesk_0.55.20.img"};
  ASSERT_EQ(Run({v0_55_9}, {{"FX3_vesk_0.55.10.img", 1}, {"FX3_vesk_0.55.20.img", 2}}),
            kResultOk);
  EXPECT_EQ(Written(), ControllerImage(1));
  EXPECT_NE(Out().find("New FX3 driver version: 0.55.10\n"), std::string::npos);
}

TEST_F(ControllerUpdateTest, UnopenableImageIsReportedAndNeverCalledSuccess) {
  platform_.Listing = {"FX3_vesk_0.55.10.img"};  // listed, but not there
  EXPECT_EQ(Run({v0_55_9}, {}), kResultControllerUpdateFailed);
  EXPECT_EQ(platform_.ErrText(),
            "Error opening file: " + folder_.Path() + "/data/Firmware/FX3_vesk_0.55.10.img\n");
  const std::string out = Out();
  EXPECT_NE(out.find("Updating FX3 Driver... 0.00%"), std::string::npos) << "the display runs";
  EXPECT_EQ(out.find("Update completed successfully!"), std::string::npos);
  EXPECT_EQ(out.find("has been updated"), std::string::npos);
  EXPECT_EQ(out.back(), '\n');
  EXPECT_TRUE(Written().empty());
}

TEST_F(ControllerUpdateTest, DamagedImageIsRefusedAndNothingIsSent) {
  std::vector<uint8_t> damaged = ControllerImage(1);
  damaged[20] ^= 0x01;  // the checksum no longer matches
  folder_.Write("data/Firmware/FX3_vesk_0.55.10.img", damaged);
  EXPECT_EQ(Run({v0_55_9}, {}), kResultControllerUpdateFailed);
  EXPECT_TRUE(instrument_->Controller().ImageBlocks().empty());
  EXPECT_EQ(Out().find("Update completed successfully!"), std::string::npos);
}

TEST_F(ControllerUpdateTest, ImageSentInPagedRequestsOf2048Bytes) {
  ASSERT_EQ(Run({v0_55_9}, {{"FX3_vesk_0.55.10.img", 1}}), kResultOk);
  const size_t size = ControllerImage(1).size();
  std::vector<sim::Fx3Instrument::ImageBlock> blocks = instrument_->Controller().ImageBlocks();
  ASSERT_EQ(blocks.size(), (size + 2047) / 2048);
  for (size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].Page, 0);
    EXPECT_EQ(blocks[i].Offset, i * 2048);
    EXPECT_EQ(blocks[i].Length, i + 1 < blocks.size() ? 2048u : size % 2048);
  }
}

}  // namespace
}  // namespace vesk

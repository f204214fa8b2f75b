// The whole program over USB, as an operator runs it: the built updater,
// copied into a folder with its firmware images, started by the instrument
// simulator with the emulated USB instrument (umockdev) in front of it. The
// program's real waits run (the MCU restarts, the controller display, the
// FPGA restart), and the FPGA image crosses the emulated USB in control
// requests, so this takes a few minutes. Inside a private network namespace:
// a failed USB open falls back to Ethernet at the instrument's address.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "catalog/firmware_version.h"
#include "common/byte_order.h"
#include "common/result_code.h"
#include "support/temp_folder.h"
#include "update/fpga_update.h"

namespace vesk {
namespace {

using test::ReadWholeFile;
using test::TempFolder;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// A well-formed normal-firmware FX3 image with one section.
std::vector<uint8_t> ControllerImage() {
  std::vector<uint8_t> image = {'C', 'Y', 0x1C, 0xB0};
  auto put = [&image](uint32_t word) {
    image.resize(image.size() + 4);
    PutLe32(&image[image.size() - 4], word);
  };
  const uint32_t words = 3000;
  put(words);
  put(0x40000000);
  uint32_t sum = 0;
  for (uint32_t i = 0; i < words; ++i) {
    put(i * 2654435761u);
    sum += i * 2654435761u;
  }
  put(0);
  put(0x40000100);
  put(sum);
  return image;
}

class UsbProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::copy_file(VESK_UPDATER_PATH, folder_.Path() + "/vesk-updater");
    folder_.MakeFolder("data/Firmware");
    folder_.MakeFolder("records");
  }

  // Runs the updater under the simulator with `input` typed; the exit status.
  int Run(const std::string& simOptions, const std::string& input) {
    folder_.Write("input.txt", input);
    const std::string command =
        "cd '" + folder_.Path() + "' && ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 '" +
        VESK_SIM_PATH + "' usb --save records " + simOptions +
        " -- ./vesk-updater < input.txt > out.txt 2> err.txt";
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Out() { return ReadWholeFile(folder_.Path() + "/out.txt"); }
  std::vector<uint8_t> Record(const std::string& name) {
    return Bytes(ReadWholeFile(folder_.Path() + "/records/" + name));
  }

  TempFolder folder_;
};

TEST_F(UsbProgramTest, CompleteUpdateWritesEveryImageAndTheControllerFirmware) {
  const std::vector<uint8_t> mcu = Pattern(16384 + 1000, 1);
  const std::vector<uint8_t> fpga = Pattern(1000000, 2);
  const std::vector<uint8_t> gnss = Pattern(10240 + 400, 5);
  folder_.Write("data/Firmware/T70_R4_0.55.61.bin", mcu);
  folder_.Write("data/Firmware/T70_R4_0.55.30.rpd", fpga);
  folder_.Write("data/Firmware/GNSS_2.1.bin", gnss);
  folder_.Write("data/Firmware/FX3_vesk_0.55.62.img", ControllerImage());

  // The instrument takes half a second to come back after each restart.
  const int status = Run("--model 54 --uid 0xabcdef0123 --mcu 0.55.56 --fpga 0.55.22 "
                         "--controller 0.55.61 --refuse-after-restart 500",
                         "\n\n");
  const std::string out = Out();
  EXPECT_EQ(status, 0) << out << ReadWholeFile(folder_.Path() + "/err.txt");
  for (const char* text :
       {"Device Model: T70_R4\nDevice UID: abcdef0123\nMCU firmware version: 0.55.56\n"
        "FPGA firmware version: 0.55.22\n\n",
        "New MCU firmware version: 0.55.61\nNew FPGA firmware version: 0.55.30\n\n"
        "Press Enter to update firmware\n",
        "MCU firmware update completed\n\nReady to update GNSS",
        "GNSS firmware update completed\n\nReady to update FPGA",
        "FPGA firmware update completed\n\n",
        "FX3 driver version: 0.55.61\nFX3 driver type: vesk\n\nNew FX3 driver version: 0.55.62\n",
        "\rUpdating FX3 Driver... 100.00%\nUpdate completed successfully!\n"
        "FX3 driver has been updated to the latest version 0.55.62\n\nPress Enter to end",
        "USB instrument 04b4:00f0\n"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text;
  }

  std::vector<uint8_t> application(mcu.begin() + 16384, mcu.end());
  application.resize((application.size() + 127) / 128 * 128, 0);  // whole blocks
  EXPECT_EQ(Record("mcu-1.bin"), application);
  EXPECT_FALSE(std::filesystem::exists(folder_.Path() + "/records/mcu-2.bin"));
  std::vector<uint8_t> image = fpga;
  image.resize(kFpgaImageSize, 0xFF);
  EXPECT_EQ(Record("fpga.bin"), image);
  EXPECT_EQ(Record("gnss.bin"), std::vector<uint8_t>(gnss.begin() + 10240, gnss.end()));
  EXPECT_EQ(Record("controller.bin"), ControllerImage());
}

TEST_F(UsbProgramTest, UnreadableIdentityLeadsToTheManualModelEntry) {
  // The device record arrives one byte long: the identity cannot be read.
  const int status = Run("--short 5=1 --controller 0.55.61", "W70_R5\n");
  const std::string out = Out();
  EXPECT_NE(out.find("W70_R5    : 58\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Unable to update firmware, please input device type or model (e.g. T70_R4 "
                     "or 54):"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("No MCU, FPGA and GNSS firmware is available"), std::string::npos);
  // Then the controller step runs over USB and finds no image.
  EXPECT_NE(out.find("FX3 driver version: 0.55.61\nFX3 driver type: vesk\nNo FX3 driver is "
                     "available"),
            std::string::npos);
  EXPECT_NE(out.find("Press Enter to end"), std::string::npos);
  EXPECT_EQ(status, kResultNoControllerImage & 0xFF);
}

}  // namespace
}  // namespace vesk

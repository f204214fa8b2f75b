// The built program, copied alone into a temporary folder, run as an
// operator runs it: its whole output and exit status are compared.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace vesk {
namespace {

using test::ReadWholeFile;
using test::TempFolder;

struct ProgramRun {
  std::string Out;
  std::string Err;
  int Status = -1;
};

ProgramRun RunUpdater(const TempFolder& folder, const std::string& arguments, const std::string& input) {
  namespace fs = std::filesystem;
  fs::copy_file(VESK_UPDATER_PATH, fs::path(folder.Path()) / "vesk-updater",
                fs::copy_options::overwrite_existing);
  folder.Write("stdin.txt", input);
  std::string command = "cd '" + folder.Path() + "' && XDG_STATE_HOME='" + folder.Path() +
                        "/state' ./vesk-updater " + arguments +
                        " < stdin.txt > stdout.txt 2> stderr.txt";
  int raw = std::system(command.c_str());
  ProgramRun run;
  run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.Out = ReadWholeFile(folder.Path() + "/stdout.txt");
  run.Err = ReadWholeFile(folder.Path() + "/stderr.txt");
  return run;
}

const std::string kBanner =
    "VESK Firmware Updater 0.55.61.13\n"
    "\n"
    "Please read the following notes carefully before starting the update.\n"
    "1.Ensure only one VESK device is connected to the PC.\n"
    "2.Connect the RB series device to USB 2.0 or USB 3.0 port.\n"
    "3.Or connect the KT series device to Ethernet port.\n"
    "4.Do not disconnect the device during the update process.\n"
    "5.Disconnecting during the update may render the device unusable.\n"
    "\n";

const std::string kNoLimitsFile =
    "FirmwareUpdateLimit.csv not found. Now, the limitations for firmware updates are mainly "
    "defined by the program.\n"
    "\n";

TEST(UpdaterProgramTest, VirtualLinkWalksTheRunAndEndsWithTheControllerRefusal) {
  TempFolder folder;
  folder.Write("Settings.ini", "Interface=VIRTUAL\nIndex=0\nIP=192.168.1.100\nPort=5000\nTimeOut=10000\n");
  ProgramRun run = RunUpdater(folder, "", "\n");
  EXPECT_EQ(run.Out, kBanner + kNoLimitsFile +
                         "\n"
                         "Device Model: \n"
                         "Device UID: 12345678\n"
                         "MCU firmware version: 0.0.0\n"
                         "FPGA firmware version: 0.0.0\n"
                         "\n"
                         "Virtual bus is closed!\n"
                         "MCU and FPGA Firmware is too old to update\n"
                         "\n"
                         "FX3 driver version: 0.0.0\n"
                         "Virtual bus is closed!\n"
                         "FX3 driver is too old to update\n"
                         "\n"
                         "Press Enter to end");
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Status, 211);  // -10029 in eight bits
  // The walk-through reached no instrument: nothing goes into the history.
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "/state"));
}

TEST(UpdaterProgramTest, HelpAndVersionTouchNoInstrument) {
  TempFolder folder;
  folder.Write("Settings.ini", "Interface=VIRTUAL\n");
  ProgramRun help = RunUpdater(folder, "--help", "");
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.rfind("Usage: vesk-updater [-F | -f | nolimit] [0 | 1]\n", 0), 0u);
  EXPECT_EQ(help.Out.find("Virtual bus"), std::string::npos);
  ProgramRun version = RunUpdater(folder, "--version", "");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, "vesk-updater 0.55.61.13\n");
}

TEST(UpdaterProgramTest, LinksThatNeverOpenReportNotConnectedTwice) {
  for (const char* kind : {"QSFP", "HLVDS"}) {
    TempFolder folder;
    folder.Write("FirmwareUpdateLimit.csv", "KT\nnone,none\n");
    folder.Write("Settings.ini", std::string("Interface=") + kind + "\n");
    ProgramRun run = RunUpdater(folder, "-f 1", "");
    EXPECT_EQ(run.Out, kBanner + "\n" +
                           "Device not connected.\n\n"
                           "Device not connected.\n\n"
                           "Press Enter to end")
        << kind;
    EXPECT_EQ(run.Status, 255) << kind;
  }
}

TEST(UpdaterProgramTest, LimitsFileWarningsGoToStandardError) {
  TempFolder folder;
  folder.Write("FirmwareUpdateLimit.csv", "VQ\n0.55.56\n");
  folder.Write("Settings.ini", "Interface=VIRTUAL\n");
  ProgramRun run = RunUpdater(folder, "", "");
  EXPECT_EQ(run.Err, "Warning: Invalid version format for the VQ group: 0.55.56\n");
  EXPECT_EQ(run.Out.find("FirmwareUpdateLimit.csv not found"), std::string::npos);
  EXPECT_EQ(run.Status, 211);
}

TEST(UpdaterProgramTest, SettingsCorrectionsArePrintedBeforeTheConnection) {
  TempFolder folder;
  folder.Write("Settings.ini", "Interface=virtual\nIndex=0\nIP=1.2.3\nPort=5000\nTimeOut=5\n");
  folder.Write("FirmwareUpdateLimit.csv", "");
  // "virtual" is no link kind: USB is used, finds no instrument, and the
  // Ethernet fallback finds none at the default address in this namespace.
  ProgramRun run = RunUpdater(folder, "", "");
  EXPECT_EQ(run.Out.substr(0, kBanner.size()), kBanner);
  EXPECT_EQ(run.Out.substr(kBanner.size()),
            "The Interface in Settings.ini is invalid, the default USB interface will be used.\n"
            "The IP Address format in Settings.ini is incorrect, it has been changed to the "
            "default IP address 192.168.1.100.\n"
            "The TimeOut in Settings.ini must be greater than 10000ms, it has been changed to "
            "the default 10000ms.\n"
            "\n"
            "Device not connected.\n"
            "\n"
            "Press Enter to end");
  EXPECT_EQ(run.Status, 255);
}

}  // namespace
}  // namespace vesk

// vesk-instrument-sim: plays an instrument and prints what the updater wrote.
//
//   vesk-instrument-sim eth --address 192.168.1.100 --port 5000 [options]
//     plays an Ethernet instrument on a TCP address and port until
//     interrupted.
//   vesk-instrument-sim usb [options] [--cypress] [--superspeed] -- COMMAND [ARGS...]
//     plays a USB instrument (its FX3 controller on an emulated usbfs) and
//     runs COMMAND with the umockdev preload library, so that the command's
//     libusb finds the instrument; ends when the command ends, with its exit
//     status. --cypress presents Cypress's identity 04b4:00f1 instead of the
//     instrument's own 04b4:00f0; --superspeed gives USB 3.0 descriptors;
//     --save DIR writes what was written into DIR: mcu-1.bin, mcu-2.bin, ...
//     (one per flash download), fpga.bin, gnss.bin and controller.bin.
//
// Options:
//   --uid N  --model N  --hardware N     identity (numbers: decimal or 0x...)
//   --mcu A.B.C  --fpga A.B.C            installed firmware versions
//   --controller A.B.C                   USB controller firmware version
//   --server-type N|silent               answer to the server query
//   --installed NAME                     installed desktop package (server type 1)
//   --stage N|silent                     answer to the stage query
//   --status-byte N                      status byte of command 21
//   --frames N                           data frames before each reply
//   --close-after N                      drop the connection after N commands
//   --refuse-after-restart MS            refuse connections (USB: opens) after a restart
//   --silent ID                          never answer command ID
//   --drop ID                            close the connection on command ID
//   --status ID=N                        answer command ID with status N
//   --short ID=N                         send only N bytes of the reply to ID
//
// Over USB the request packets are mapped onto the same command numbers, so
// the faults apply to USB instructions of the same meaning (5: device
// record, 24: switch to in-application programming, 29: GNSS probe, ...).

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "sim/ethernet_front_end.h"
#include "sim/instrument_model.h"

#ifdef VESK_SIM_WITH_USB
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iomanip>
#include <vector>

#include "sim/umockdev_testbed.h"
#include "sim/usb_front_end.h"
#endif

namespace {

volatile std::sig_atomic_t stopRequested = 0;

#ifdef VESK_SIM_WITH_USB
constexpr const char* kUmockdevPreload = "libumockdev-preload.so.0";
// The identity Cypress's own controller firmware presents.
constexpr uint16_t kCypressFirmwareProduct = 0x00F1;
#endif

void RequestStop(int) { stopRequested = 1; }

bool ParseNumber(const std::string& text, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 0);
  return !text.empty() && end != nullptr && *end == '\0';
}

bool ParseVersion(const std::string& text, uint32_t& packed) {
  unsigned major = 0, minor = 0, patch = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u", &major, &minor, &patch) != 3) return false;
  if (major > 0xFFFF || minor > 0xFF || patch > 0xFF) return false;
  packed = major << 16 | minor << 8 | patch;
  return true;
}

bool ParsePair(const std::string& text, long long& id, long long& value) {
  size_t eq = text.find('=');
  return eq != std::string::npos && ParseNumber(text.substr(0, eq), id) &&
         ParseNumber(text.substr(eq + 1), value);
}

int Usage() {
  std::cerr << "usage: vesk-instrument-sim eth --address ADDRESS --port PORT [options]\n"
               "       vesk-instrument-sim usb [options] -- COMMAND [ARGS...]\n"
               "see the comment at the top of tools/sim/main.cpp for the options\n";
  return 2;
}

// Applies one instrument option with its value; false when it is unknown or
// its value is malformed.
bool ApplyInstrumentOption(const std::string& option, const std::string& value,
                           vesk::sim::InstrumentOptions& options) {
long long number = 0, id = 0;
bool ok = true;
if (option == "--uid") {
    ok = ParseNumber(value, number);
    options.Ident.Uid = static_cast<uint64_t>(number);
  } else if (option == "--model") {
    ok = ParseNumber(value, number);
    options.Ident.ModelCode = static_cast<uint16_t>(number);
  } else if (option == "--hardware") {
    ok = ParseNumber(value, number);
    options.Ident.HardwareCode = static_cast<uint16_t>(number);
  } else if (option == "--mcu") {
    ok = ParseVersion(value, options.Ident.McuVersion);
  } else if (option == "--fpga") {
    ok = ParseVersion(value, options.Ident.FpgaVersion);
  } else if (option == "--controller") {
    ok = ParseVersion(value, options.Ident.ControllerVersion);
  } else if (option == "--server-type" || option == "--stage") {
    auto& answer = option == "--stage" ? options.StageStatus : options.ServerType;
    if (value == "silent") {
      answer.reset();
    } else {
      ok = ParseNumber(value, number);
      answer = static_cast<int32_t>(number);
    }
  } else if (option == "--installed") {
    options.InstalledPackage = value;
  } else if (option == "--status-byte") {
    ok = ParseNumber(value, number);
    options.StatusByte = static_cast<uint8_t>(number);
  } else if (option == "--frames") {
    ok = ParseNumber(value, number) && number >= 0;
    options.FramesBeforeReply = static_cast<int>(number);
  } else if (option == "--close-after") {
    ok = ParseNumber(value, number) && number >= 0;
    options.CloseAfterCommands = static_cast<int>(number);
  } else if (option == "--refuse-after-restart") {
    ok = ParseNumber(value, number) && number >= 0;
    options.RefuseAfterRestart = std::chrono::milliseconds(number);
  } else if (option == "--silent") {
    ok = ParseNumber(value, id);
    options.Faults[static_cast<int32_t>(id)].Silent = true;
  } else if (option == "--drop") {
    ok = ParseNumber(value, id);
    options.Faults[static_cast<int32_t>(id)].Drop = true;
  } else if (option == "--status") {
    ok = ParsePair(value, id, number);
    options.Faults[static_cast<int32_t>(id)].Status = static_cast<int32_t>(number);
  } else if (option == "--short") {
    ok = ParsePair(value, id, number) && number >= 0;
    options.Faults[static_cast<int32_t>(id)].ShortReply = static_cast<size_t>(number);
  } else {
    ok = false;
  }
  return ok;
}

void PrintRecords(const vesk::sim::InstrumentModel& model) {
  std::cout << "Connections: " << model.Connections() << "\nCommands:";
  for (int32_t id : model.CommandIds()) std::cout << " " << id;
  std::cout << "\n";
  for (const auto& download : model.FlashDownloads()) {
    std::cout << "Flash download: region " << download.Region.size() << " bytes, "
              << download.Blocks.size() << " blocks, " << download.Written().size()
              << " bytes written" << (download.Finished ? ", finished" : "") << "\n";
  }
  std::cout << "FPGA image: " << model.FpgaImage().size() << " bytes\n"
            << "GNSS body: " << model.GnssBody().size() << " bytes\n"
            << "Server packages: " << model.ServerPackages().size() << "\n"
            << "Desktop packages: " << model.DesktopPackages().size() << "\n";
}

int RunEthernet(int argc, char** argv) {
  std::string address = "127.0.0.1";
  long long port = 5000;
  vesk::sim::InstrumentOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    bool ok = true;
    if (option == "--address") {
      address = value;
    } else if (option == "--port") {
      ok = ParseNumber(value, port) && port >= 0 && port <= 65535;
    } else {
      ok = ApplyInstrumentOption(option, value, options);
    }
    if (!ok) {
      std::cerr << "bad option: " << option << " " << value << "\n";
      return Usage();
    }
  }

  vesk::sim::InstrumentModel model(options);
  vesk::sim::EthernetInstrument instrument(model);
  std::string why;
  if (!instrument.Start(address, static_cast<uint16_t>(port), &why)) {
    std::cerr << "cannot listen on " << address << " port " << port << ": " << why << "\n";
    return 1;
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  std::cout << "Instrument listening on " << address << " port " << instrument.Port()
            << std::endl;
  while (stopRequested == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  instrument.Stop();
  PrintRecords(model);
  return 0;
}

#ifdef VESK_SIM_WITH_USB
bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

// Writes the records into `folder` as files, for comparison with the images
// the updater was given.
bool SaveRecords(const vesk::sim::InstrumentModel& model, const vesk::sim::Fx3Instrument& fx3,
                 const std::string& folder) {
  bool ok = true;
  int n = 0;
  for (const auto& download : model.FlashDownloads()) {
    ok = SaveFile(folder + "/mcu-" + std::to_string(++n) + ".bin", download.Written()) && ok;
  }
  ok = SaveFile(folder + "/fpga.bin", model.FpgaImage()) && ok;
  ok = SaveFile(folder + "/gnss.bin", model.GnssBody()) && ok;
  return SaveFile(folder + "/controller.bin", fx3.Image()) && ok;
}

// Starts the command with the umockdev preload library in front of any
// preload it already has, so its libusb sees the emulated usbfs; the
// testbed's folder reaches it through UMOCKDEV_DIR, which the testbed set in
// this process's environment. Gives the command's exit status.
int RunWithEmulatedUsb(char** command) {
  std::string preload = kUmockdevPreload;
  if (const char* existing = std::getenv("LD_PRELOAD"); existing != nullptr && *existing != 0) {
    preload += ":";
    preload += existing;
  }
  std::cout.flush();
  pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    setenv("LD_PRELOAD", preload.c_str(), 1);
    execvp(command[0], command);
    std::perror(command[0]);
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

int RunUsb(int argc, char** argv) {
  vesk::sim::InstrumentOptions options;
  vesk::sim::Fx3Options controller;
  std::string saveFolder;
  int i = 2;
  for (; i < argc && std::string(argv[i]) != "--"; ++i) {
    const std::string option = argv[i];
    if (option == "--cypress") {
      controller.ProductId = kCypressFirmwareProduct;
      continue;
    }
    if (option == "--superspeed") {
      controller.SuperSpeed = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (option == "--save") {
      saveFolder = value;
      continue;
    }
    if (!ApplyInstrumentOption(option, value, options)) {
      std::cerr << "bad option: " << option << " " << value << "\n";
      return Usage();
    }
  }
  if (i + 1 >= argc) return Usage();  // no command after "--"

  vesk::sim::InstrumentModel model(options);
  vesk::sim::UsbInstrument instrument(model, controller);
  vesk::sim::Fx3Instrument& fx3 = instrument.Controller();
  int status = 0;
  {
    vesk::sim::UmockdevTestbed testbed(fx3, fx3.DeviceDescriptor(), fx3.ConfigurationDescriptor());
    status = RunWithEmulatedUsb(argv + i + 1);
  }
  std::cout << "USB instrument " << std::hex << std::setfill('0') << std::setw(4)
            << controller.VendorId << ":" << std::setw(4) << controller.ProductId << std::dec
            << "\n";
  PrintRecords(model);
  std::cout << "Controller image: " << fx3.Image().size() << " bytes in "
            << fx3.ImageBlocks().size() << " requests\n";
  if (!saveFolder.empty() && !SaveRecords(model, fx3, saveFolder)) {
    std::cerr << "cannot save the records in " << saveFolder << "\n";
    return 1;
  }
  return status;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  if (mode == "eth") return RunEthernet(argc, argv);
#ifdef VESK_SIM_WITH_USB
  if (mode == "usb") return RunUsb(argc, argv);
#endif
  return Usage();
}

// vesk-planning-bench: how long update planning takes over a firmware folder
// of 10,000 files (names of every kind: model images, other models' images,
// GNSS images, stray files), listing included.
//
//   vesk-planning-bench [--files N] [--rounds N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "catalog/model_table.h"
#include "catalog/update_plan.h"
#include "common/system_platform.h"

namespace {

// The real host, but with the executable's folder and the console of the
// benchmark's choosing.
class BenchPlatform : public vesk::SystemPlatform {
 public:
  explicit BenchPlatform(std::string folder) : folder_(std::move(folder)) {}
  std::ostream& Out() override { return sink_; }
  std::string ExecutableFolder() override { return folder_; }

 private:
  std::string folder_;
  std::ostringstream sink_;
};

std::string FileName(int i) {
  static const char* kModels[] = {"T70_R4", "K15_R2", "W55_R5", "K250_R3", "T90_R5", "X99_R1"};
  const std::string model = kModels[i % 6];
  const std::string version = "0." + std::to_string(40 + i % 16) + "." + std::to_string(i % 250);
  switch (i % 5) {
    case 0:
      return model + "_build" + std::to_string(i) + "_" + version + ".bin";
    case 1:
      return model + "_build" + std::to_string(i) + "_" + version + ".rpd";
    case 2:
      return model + "_" + version + "_" + std::to_string(i) + ".jic";
    case 3:
      return "GNSS_" + std::to_string(i % 7) + "." + std::to_string(i) + ".bin";
    default:
      return "notes_" + std::to_string(i) + ".txt";
  }
}

}  // namespace

int main(int argc, char** argv) {
  int files = 10000;
  int rounds = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--files") files = std::atoi(argv[i + 1]);
    if (option == "--rounds") rounds = std::atoi(argv[i + 1]);
  }
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("vesk-planning-bench-" + std::to_string(getpid()));
  fs::create_directories(root / "data" / "Firmware");
  for (int i = 0; i < files; ++i) std::ofstream(root / "data" / "Firmware" / FileName(i)) << i;

  BenchPlatform platform(root.string());
  const vesk::ModelCodeMap models = vesk::BuildModelTable();
  const vesk::PlanningContext context{platform, models, false, 0};
  double best = 1e9;
  double total = 0;
  vesk::ResultCode result = 0;
  for (int round = 0; round < rounds; ++round) {
    vesk::UpdatePlan plan;
    auto start = std::chrono::steady_clock::now();
    result = vesk::PlanUpdate(context, 0, 54, {}, {}, plan);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, ms);
    total += ms;
  }
  fs::remove_all(root);
  std::printf("Planning over %d files (listing included), %d rounds: best %.1f ms, mean %.1f ms "
              "(goal < 100 ms); result %d\n",
              files, rounds, best, total / rounds, result);
  return 0;
}

#include "app/program_entry.h"
#include "app/run_history.h"
#include "common/system_platform.h"

int main(int argc, char** argv) {
  static vesk::SystemPlatform platform;
  static vesk::Program program(platform);  // the program's link lives until exit
  program.HistoryFile = vesk::DefaultHistoryPath();
  return vesk::RunProgram(program, argc, argv) & 0xFF;
}

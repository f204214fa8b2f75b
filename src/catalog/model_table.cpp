#include "catalog/model_table.h"

namespace vesk {

ModelCodeMap BuildModelTable() {
  return {
      {"K15_R2", 12}, {"K15_R3", 13}, {"K250_R2", 22}, {"K250_R3", 23},   {"K250_R4", 24},
      {"W70_R4", 53}, {"T70_R4", 54}, {"W55_R4", 55},  {"T90_R5", 56},    {"T70_R5", 57},
      {"W70_R5", 58}, {"W55_R5", 59}, {"W500_R1", 91}, {"W500_R2V2", 94},
  };
}

uint16_t ModelCodeOf(const ModelCodeMap& table, const std::string& name) {
  auto row = table.find(name);
  return row == table.end() ? 0 : row->second;
}

}  // namespace vesk

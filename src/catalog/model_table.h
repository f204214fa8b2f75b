#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vesk {

// Instrument model name to the model code the instrument reports, ordered
// by byte-wise comparison of the names.
using ModelCodeMap = std::map<std::string, uint16_t>;

// The 14 models this updater knows.
ModelCodeMap BuildModelTable();

// The code of a model name, or 0 when the name is no model. Never adds a row.
uint16_t ModelCodeOf(const ModelCodeMap& table, const std::string& name);

}  // namespace vesk

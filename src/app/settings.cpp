#include "app/settings.h"

#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <vector>

#include "app/decimal_text.h"

namespace vesk {

namespace {

constexpr int32_t kMinimumNetTimeoutMs = 10000;
constexpr uint16_t kDefaultPort = 5000;
constexpr std::array<uint8_t, 4> kDefaultAddress = {192, 168, 1, 100};

struct LinkKindText {
  const char* Text;
  BusInterface Interface;
};
constexpr LinkKindText kLinkKinds[] = {
    {"USB", BusInterface::USB},   {"QSFP", BusInterface::QSFP},
    {"ETH", BusInterface::ETH},   {"HLVDS", BusInterface::HLVDS},
    {"VIRTUAL", BusInterface::VIRTUAL},
};

// Everything after the first "=" of each line that has one, in file order.
// A line ends at LF; a CR before the LF belongs to the line end.
std::vector<std::string> ReadValues(std::istream& file) {
  std::vector<std::string> values;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    values.push_back(line.substr(equals + 1));
  }
  return values;
}

}  // namespace

bool ParseIpv4(const std::string& text, std::array<uint8_t, 16>& destination) {
  std::array<uint8_t, 4> bytes{};
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    size_t dot = text.find('.', start);
    bool last = part == 3;
    // The first three parts end at a dot; the fourth must end the text.
    if (last != (dot == std::string::npos)) return false;
    std::string_view piece(text.data() + start, (last ? text.size() : dot) - start);
    std::optional<int32_t> number = ReadDecimal(piece);
    if (!number || *number < 0 || *number > 255) return false;
    bytes[part] = static_cast<uint8_t>(*number);
    start = dot + 1;
  }
  std::copy(bytes.begin(), bytes.end(), destination.begin());
  return true;
}

void LoadSettings(Bus& bus, int32_t& deviceIndex) {
  bus.Interface = BusInterface::USB;
  bus.NetTimeoutMs = kMinimumNetTimeoutMs;
  bus.IsIpv6 = 0;
  bus.Port = kDefaultPort;
  bus.IpAddress = {};
  std::copy(kDefaultAddress.begin(), kDefaultAddress.end(), bus.IpAddress.begin());

  std::ifstream file(PathBesideExecutable(bus.Host, "Settings.ini"));
  if (!file.is_open()) return;
  ApplySettingsText(bus, deviceIndex, file);
}

void ApplySettingsText(Bus& bus, int32_t& deviceIndex, std::istream& text) {
  std::ostream& out = bus.Host.Out();
  std::vector<std::string> values = ReadValues(text);

  // A value the file does not have keeps its default without a message; a
  // value that is there but unusable is corrected with a sentence.
  if (values.size() > 0) {
    bool known = false;
    for (const auto& kind : kLinkKinds) {
      if (values[0] == kind.Text) {
        bus.Interface = kind.Interface;
        known = true;
      }
    }
    if (!known) {
      out << "The Interface in Settings.ini is invalid, the default USB interface will be used."
          << std::endl;
    }
  }
  if (values.size() > 1) {
    if (std::optional<int32_t> index = ReadDecimal(values[1])) {
      deviceIndex = *index;
    } else {
      out << "The Index in Settings.ini is invalid, the default index 0 will be used."
          << std::endl;
      deviceIndex = 0;
    }
  }
  if (values.size() > 2 && !ParseIpv4(values[2], bus.IpAddress)) {
    out << "The IP Address format in Settings.ini is incorrect, it has been changed to the "
           "default IP address 192.168.1.100."
        << std::endl;
  }
  if (values.size() > 3) {
    if (std::optional<int32_t> port = ReadDecimal(values[3])) {
      bus.Port = static_cast<uint16_t>(*port);  // the low 16 bits
    } else {
      out << "The Port in Settings.ini is invalid, the default port 5000 will be used."
          << std::endl;
    }
  }
  if (values.size() > 4) {
    std::optional<int32_t> timeout = ReadDecimal(values[4]);
    if (!timeout || *timeout < kMinimumNetTimeoutMs) {
      out << "The TimeOut in Settings.ini must be greater than 10000ms, it has been changed to "
             "the default 10000ms."
          << std::endl;
    } else {
      bus.NetTimeoutMs = *timeout;
    }
  }
  out << std::endl;
}

}  // namespace vesk

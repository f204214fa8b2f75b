#include "app/run_history.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "catalog/firmware_version.h"

namespace vesk {

namespace {

const char* LinkName(BusInterface link) {
  switch (link) {
    case BusInterface::USB:
      return "USB";
    case BusInterface::ETH:
      return "ETH";
    case BusInterface::VIRTUAL:
      return "VIRTUAL";
    default:
      return "other";
  }
}

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string Hex(const unsigned char* bytes, unsigned int length) {
  std::ostringstream out;
  for (unsigned int i = 0; i < length; ++i) {
    out << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(bytes[i]);
  }
  return out.str();
}

std::string FileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void RunHistory::Reached(BusInterface link) {
  if (link != BusInterface::VIRTUAL) link_ = link;
}

void RunHistory::Identified(const DeviceInfo& info, const std::string& modelName) {
  identity_ = info;
  modelName_ = modelName;
}

void RunHistory::Attempted(const std::string& component, const std::string& imagePath,
                           ResultCode result) {
  for (Attempt& known : components_) {
    if (known.Component == component && known.ImageName == FileName(imagePath)) {
      known.Result = result;
      ++known.Attempts;
      return;
    }
  }
  components_.push_back({component, FileName(imagePath), FileSha256(imagePath), result, 1});
}

void RunHistory::ControllerStep(ResultCode result) { controller_ = result; }

std::string RunHistory::JsonLine(ResultCode finalResult) const {
  using nlohmann::json;
  json line;
  line["time"] = UtcTimestamp(started_);
  line["link"] = link_ ? LinkName(*link_) : nullptr;
  if (identity_) {
    std::ostringstream uid;
    uid << std::hex << identity_->Uid;
    line["uid"] = uid.str();
    line["model"] = modelName_;
    line["model_code"] = identity_->ModelCode;
    line["mcu_version_before"] = FormatVersion(FirmwareVersion::FromPacked(identity_->McuVersion));
    line["fpga_version_before"] =
        FormatVersion(FirmwareVersion::FromPacked(identity_->FpgaVersion));
  } else {
    line["uid"] = nullptr;  // the identity could not be read
  }
  json components = json::array();
  for (const Attempt& attempt : components_) {
    components.push_back({{"component", attempt.Component},
                          {"image", attempt.ImageName},
                          {"sha256", attempt.ImageSha256},
                          {"attempts", attempt.Attempts},
                          {"result", attempt.Result}});
  }
  line["components"] = components;
  line["controller_result"] = controller_ ? json(*controller_) : json(nullptr);
  line["result"] = finalResult;
  // Replace invalid UTF-8 (names come from the file system) instead of failing.
  return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<std::string> DefaultHistoryPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    base = std::string(home) + "/.local/state";
  } else {
    return std::nullopt;
  }
  return base + "/vesk-updater/history.jsonl";
}

bool AppendHistoryLine(const std::string& path, const std::string& line, std::string& why) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  if (error) {
    why = error.message();
    return false;
  }
  std::ofstream file(path, std::ios::app | std::ios::binary);
  if (!file.is_open()) {
    why = std::strerror(errno);
    return false;
  }
  file << line << '\n';
  file.flush();
  if (!file) {
    why = "write failed";
    return false;
  }
  return true;
}

std::string FileSha256(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return "";
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return "";
  char buffer[65536];
  while (file.read(buffer, sizeof(buffer)) || file.gcount() > 0) {
    EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(file.gcount()));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return "";
  return Hex(digest, length);
}

}  // namespace vesk

#include "net/services/device_server_update.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bus/ethernet_commands.h"
#include "common/byte_order.h"

namespace vesk {

namespace {

using std::chrono::milliseconds;

// Answers of the server query.
constexpr int32_t kNoServerAnswer = -1000;
constexpr int32_t kServerNamesPackage = 1;  // a desktop package is installed; its name follows
constexpr int32_t kServerDeclines = 2;

// Answers of the stage query: which preparatory step the instrument needs.
constexpr int32_t kStageBootImage = 0;
constexpr int32_t kStageInstallScript = 1;
constexpr int32_t kStageBootImageToo = 2;

// How long the server is given to answer. The first query is short: an
// instrument without a current server does not answer at all.
constexpr int32_t kServerQueryMs = 500;
constexpr int32_t kServerAnswerMs = 5000;
constexpr int32_t kDesktopAnswerMs = 1000;
// Each 64 KiB piece of a package must be taken by the instrument within this.
constexpr int32_t kPackageWriteMs = 5000;

// The reply block: the flag byte, a status word, for a named package the
// name's length and the name.
constexpr size_t kBlockStatusOffset = 1;
constexpr size_t kBlockNameLengthOffset = 5;
constexpr size_t kBlockNameOffset = 9;
// The server confirms a package with four bytes before its reply block.
constexpr size_t kPackageConfirmSize = 4;

// Tags of the parts of a server package.
constexpr uint8_t kTagTemporaryServer = 2;
constexpr uint8_t kTagInstallScript = 6;
constexpr uint8_t kTagServerPackage = 7;
constexpr uint8_t kTagBootImage = 12;

constexpr const char* kServerPackagePath = "data/KT/ZIVidize.zip";
constexpr const char* kTemporaryServerPath = "data/KT/TempVersion/ETH_server_Temp";
constexpr const char* kInstallScriptPath = "data/KT/TempVersion/install_rirazid_lib.sh";
constexpr const char* kBootImagePath = "data/KT/TempVersion/IAP_BOOT_RBK.bin";
constexpr const char* kDesktopFolder = "data/VQ";

constexpr int kReconnectAttempts = 3;
constexpr milliseconds kOneSecond{1000};

using ReplyBlock = std::array<uint8_t, kEthReplyBlockSize>;
using Bytes = std::vector<uint8_t>;

// A file's whole content preceded by its 32-bit length; none when the file
// cannot be read completely or is too large for the length field.
std::optional<Bytes> ReadFileBlock(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return std::nullopt;
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > UINT32_MAX) return std::nullopt;
  file.seekg(0);
  Bytes block(sizeof(uint32_t) + static_cast<size_t>(size));
  PutLe32(block.data(), static_cast<uint32_t>(size));
  if (!file.read(reinterpret_cast<char*>(block.data() + sizeof(uint32_t)), size)) {
    return std::nullopt;
  }
  return block;
}

bool CanOpen(const std::string& path) { return std::ifstream(path, std::ios::binary).is_open(); }

// A server package message: for each part its tag, then its file block.
std::optional<Bytes> BuildPackage(
    Platform& host, std::initializer_list<std::pair<uint8_t, const char*>> parts) {
  Bytes message;
  for (auto [tag, path] : parts) {
    auto block = ReadFileBlock(PathBesideExecutable(host, path));
    if (!block) return std::nullopt;
    message.push_back(tag);
    message.insert(message.end(), block->begin(), block->end());
  }
  return message;
}

void WriteServerCommand(EthernetLink& link, EthCommand command) {
  link.CommandId = static_cast<int32_t>(command);
  link.WriteCommandId(kPackageWriteMs);
}

bool ReadReplyBlock(EthernetLink& link, ReplyBlock& block, int32_t deadlineMs) {
  block.fill(0);
  return link.ReadExactly(block.data(), block.size(), deadlineMs) == block.size() &&
         link.NetError == 0;
}

int32_t BlockStatus(std::span<const uint8_t, kEthReplyBlockSize> block) {
  return static_cast<int32_t>(GetLe32(block.data() + kBlockStatusOffset));
}

// Sends a package and collects the server's confirmation, whatever it says:
// the instrument installs the package and restarts in any case.
ResultCode SendServerPackage(EthernetLink& link, const Bytes& message) {
  WriteServerCommand(link, EthCommand::ServerPackage);
  link.Write(message, kPackageWriteMs);
  std::array<uint8_t, kPackageConfirmSize> confirm{};
  link.ReadExactly(confirm.data(), confirm.size(), kServerAnswerMs);
  ReplyBlock block;
  ReadReplyBlock(link, block, kServerAnswerMs);
  return kResultOk;
}

struct ServerStep {
  const char* announcement;
  int waitSeconds;
  const char* waitText;
  const char* lineEnds;              // after the wait
  const char* reconnectFailure;      // printed before a failed reconnect's result; may be null
};

constexpr ServerStep kStepBootImage{
    "ZIVidize need to update. Step1: it will take about 30 seconds", 29,
    "\rReconnecting device, please wait about 30s: ", "\n", nullptr};
constexpr ServerStep kStepInstallScript{
    "ZIVidize need to update. Step1: it will take about 20 seconds", 19,
    "\rReconnecting device, please wait about 20s: ", "\n",
    "After update ETH_server_Temp Step1, open device failed: "};
constexpr ServerStep kStepServerPackage{
    "ZIVidize need to update. Step2: it will take about 60 seconds", 59,
    "\rReconnecting device, please wait about 60s: ", "\n\n",
    "After update ZIVidize Step2, open device failed: "};

// Sends one package, lets the instrument install it and restart, and
// reconnects. A reconnect that keeps failing leaves the bus broken; what
// follows then fails on its own.
ResultCode RunServerStep(Bus& bus, int32_t deviceIndex, const ServerStep& step,
                         const Bytes& message) {
  std::ostream& out = bus.Host.Out();
  out << step.announcement << "\n" << std::flush;
  ResultCode result = SendServerPackage(LinkOf(bus), message);
  LinkOf(bus).ShutdownAndClose();
  for (int pass = 1; pass <= step.waitSeconds; ++pass) {
    bus.Host.Pause(kOneSecond);
    out << step.waitText << pass << std::flush;
  }
  out << step.lineEnds;
  for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
    ResultCode opened = OpenBus(bus, deviceIndex);
    if (opened == kResultOk) break;
    if (step.reconnectFailure != nullptr) out << step.reconnectFailure << opened << "\n";
  }
  out << std::flush;
  return result;
}

// The part of a package name before its first "_" names its family.
std::string Family(const std::string& name) { return name.substr(0, name.find('_')); }

// Sends the desktop package and waits for the instrument to install it.
void SendDesktopPackage(Bus& bus, const std::string& name, const Bytes& block) {
  EthernetLink& link = LinkOf(bus);
  std::ostream& out = bus.Host.Out();
  std::array<uint8_t, sizeof(uint32_t)> length{};
  WriteServerCommand(link, EthCommand::DesktopPackage);
  PutLe32(length.data(), static_cast<uint32_t>(name.size()));
  link.Write(length, kPackageWriteMs);
  link.Write({reinterpret_cast<const uint8_t*>(name.data()), name.size()}, kPackageWriteMs);
  PutLe32(length.data(), static_cast<uint32_t>(block.size()));
  link.Write(length, kPackageWriteMs);
  link.Write(block, kPackageWriteMs);

  bool answered = false;
  ReplyBlock reply;
  for (int reads = 1; reads <= kDesktopInstallReads && !answered; ++reads) {
    answered = ReadReplyBlock(link, reply, kDesktopAnswerMs);
    out << "\rUpdating DeskView4, please wait a minute: " << reads << std::flush;
  }
  out << (answered ? "\nDeskView4 update complete\n" : "\nDeskView4 update not confirmed\n")
      << std::flush;
}

// Offers the instrument a newer desktop package of the family it has.
void UpdateDesktopPackage(Bus& bus, int32_t& serverDeviceType) {
  const std::string folder = PathBesideExecutable(bus.Host, kDesktopFolder);
  const std::vector<std::string> files = bus.Host.ListFiles(folder);

  EthernetLink& link = LinkOf(bus);
  WriteServerCommand(link, EthCommand::ServerQuery);
  serverDeviceType = kNoServerAnswer;
  ReplyBlock reply;
  if (!ReadReplyBlock(link, reply, kServerAnswerMs)) return;
  const ServerQueryAnswer answer = ReadServerQueryAnswer(reply);
  serverDeviceType = answer.DeviceType;
  if (serverDeviceType != kServerNamesPackage) return;

  const std::string& installed = answer.InstalledPackage;
  for (const std::string& name : files) {
    if (Family(name) != Family(installed) || name == installed + ".zip") continue;
    // A package that cannot be read now is not sent at all.
    if (auto block = ReadFileBlock(folder + "/" + name)) SendDesktopPackage(bus, name, *block);
  }
}

}  // namespace

ServerQueryAnswer ReadServerQueryAnswer(std::span<const uint8_t, kEthReplyBlockSize> block) {
  ServerQueryAnswer answer;
  answer.DeviceType = BlockStatus(block);
  if (answer.DeviceType != kServerNamesPackage) return answer;
  // The name is taken from within the block, however long it claims to be.
  const size_t length = std::min<size_t>(GetLe32(block.data() + kBlockNameLengthOffset),
                                         block.size() - kBlockNameOffset);
  answer.InstalledPackage.assign(reinterpret_cast<const char*>(block.data() + kBlockNameOffset),
                                 length);
  return answer;
}

ResultCode UpdateDeviceServer(Bus& bus, int32_t deviceIndex, int32_t& serverDeviceType) {
  if (bus.Interface != BusInterface::ETH) return kResultOk;
  Platform& host = bus.Host;
  EthernetLink& link = LinkOf(bus);

  WriteServerCommand(link, EthCommand::ServerQuery);
  serverDeviceType = kNoServerAnswer;
  ReplyBlock reply;
  if (ReadReplyBlock(link, reply, kServerQueryMs)) {
    serverDeviceType = BlockStatus(reply);
    if (serverDeviceType == kServerDeclines) {
      host.Out() << "This device will not update ZIVidize" << "\n\n" << std::flush;
      return kResultServerDeclinesUpdate;
    }
  }

  for (const char* path :
       {kServerPackagePath, kTemporaryServerPath, kInstallScriptPath, kBootImagePath}) {
    if (!CanOpen(PathBesideExecutable(host, path))) return kResultOk;
  }

  WriteServerCommand(link, EthCommand::StageQuery);
  const bool staged = ReadReplyBlock(link, reply, kServerAnswerMs);
  const int32_t stage = staged ? BlockStatus(reply) : kStageInstallScript;
  if (stage == kStageBootImage || stage == kStageBootImageToo) {
    auto message = BuildPackage(host, {{kTagTemporaryServer, kTemporaryServerPath},
                                       {kTagBootImage, kBootImagePath}});
    if (!message) return kResultFileUnreadable;
    RunServerStep(bus, deviceIndex, kStepBootImage, *message);
  } else if (stage == kStageInstallScript) {
    auto message = BuildPackage(host, {{kTagTemporaryServer, kTemporaryServerPath},
                                       {kTagInstallScript, kInstallScriptPath}});
    if (!message) return kResultFileUnreadable;
    RunServerStep(bus, deviceIndex, kStepInstallScript, *message);
  }

  auto message = BuildPackage(host, {{kTagServerPackage, kServerPackagePath}});
  if (!message) return kResultFileUnreadable;
  ResultCode result = RunServerStep(bus, deviceIndex, kStepServerPackage, *message);

  UpdateDesktopPackage(bus, serverDeviceType);
  return result;
}

}  // namespace vesk

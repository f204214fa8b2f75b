#include "sim/instrument_model.h"

#include "common/byte_order.h"
#include "sim/instrument_commands.h"

namespace vesk::sim {

namespace {

constexpr uint8_t kRestartInstruction = 0xF7;
constexpr uint16_t kRestartNowParameter = 1;
constexpr uint8_t kFpgaStartAcknowledge = 0x01;
constexpr int32_t kServerNamesPackage = 1;  // server query status that carries a name
constexpr size_t kDeviceRecordSize = 24;

// Commands that change what the instrument holds (flash, FPGA and GNSS
// images, server packages); the others only report.
bool ChangesInstrument(int32_t id) {
  switch (id) {
    case kFpgaEnd:
    case kFpgaStart:
    case kDataBlock:
    case kFlashErase:
    case kFlashBlock:
    case kFlashFinish:
    case kGnssPacket:
    case kServerPackage:
    case kDesktopPackage:
      return true;
    default:
      return false;
  }
}

std::vector<uint8_t> DeviceRecord(const Identity& id) {
  std::vector<uint8_t> record(kDeviceRecordSize);
  PutLe64(record.data(), id.Uid);
  PutLe16(record.data() + 8, id.ModelCode);
  PutLe16(record.data() + 10, id.HardwareCode);
  PutLe32(record.data() + 12, id.McuVersion);
  PutLe32(record.data() + 16, id.FpgaVersion);
  PutLe32(record.data() + 20, id.Reserved);
  return record;
}

}  // namespace

std::vector<uint8_t> FlashDownload::Written() const {
  std::vector<uint8_t> all;
  for (const FlashBlock& block : Blocks) all.insert(all.end(), block.Data.begin(), block.Data.end());
  return all;
}

std::optional<ServerPackage> ParseServerPackage(const std::vector<uint8_t>& message) {
  ServerPackage package;
  size_t at = 0;
  while (at < message.size()) {
    if (message.size() - at < 5) return std::nullopt;
    PackagePart part;
    part.Tag = message[at];
    uint32_t length = GetLe32(message.data() + at + 1);
    at += 5;
    if (message.size() - at < length) return std::nullopt;
    part.File.assign(message.begin() + static_cast<std::ptrdiff_t>(at),
                     message.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
    package.Parts.push_back(std::move(part));
  }
  return package;
}

InstrumentModel::InstrumentModel(InstrumentOptions options) : options_(std::move(options)) {}

InstrumentOptions InstrumentModel::Options() const {
  std::lock_guard lock(mutex_);
  return options_;
}

void InstrumentModel::SetOptions(const InstrumentOptions& options) {
  std::lock_guard lock(mutex_);
  options_ = options;
}

bool InstrumentModel::Restarting() const {
  std::lock_guard lock(mutex_);
  return std::chrono::steady_clock::now() < refuseUntil_;
}

bool InstrumentModel::AcceptConnection() {
  std::lock_guard lock(mutex_);
  if (std::chrono::steady_clock::now() < refuseUntil_) return false;
  ++connections_;
  ++open_;
  return true;
}

void InstrumentModel::ConnectionEnded() {
  std::lock_guard lock(mutex_);
  --open_;
}

Answer InstrumentModel::Handle(const ReceivedCommand& command, int commandsOnConnection) {
  std::lock_guard lock(mutex_);
  commands_.push_back(command);
  const int occurrence = ++occurrences_[command.Id];
  if (options_.CloseAfterCommands && commandsOnConnection >= *options_.CloseAfterCommands) {
    Answer drop;
    drop.Drop = true;
    return drop;
  }
  auto found = options_.Faults.find(command.Id);
  const CommandFault* fault = found != options_.Faults.end() &&
                                      occurrence >= found->second.FromOccurrence
                                  ? &found->second
                                  : nullptr;
  // A command the instrument ignores or drops changes nothing in it, nor does
  // a write it refuses with a status: only what it accepted counts as written.
  const bool refused =
      fault != nullptr &&
      (fault->Silent || fault->Drop ||
       (fault->Status && *fault->Status != 0 && ChangesInstrument(command.Id)));
  Answer answer;
  if (refused) {
    if (command.Id < kServerPackage) answer.Frames = options_.FramesBeforeReply;
  } else {
    answer = Respond(command);
    if (answer.Restart) {
      answer.RefuseFor = options_.RefuseAfterRestart;
      refuseUntil_ = std::chrono::steady_clock::now() + answer.RefuseFor;
    }
  }
  if (fault != nullptr) {
    answer.Silent = answer.Silent || fault->Silent;
    answer.Drop = answer.Drop || fault->Drop;
    if (fault->Status) answer.Status = *fault->Status;
    if (fault->ShortReply) answer.ShortReply = fault->ShortReply;
  }
  return answer;
}

// Must be called with the lock held.
Answer InstrumentModel::Respond(const ReceivedCommand& command) {
  const std::vector<uint8_t>& p = command.Payload;
  Answer answer;
  if (command.Id < kServerPackage) answer.Frames = options_.FramesBeforeReply;
  switch (command.Id) {
    case kHandshake:
    case kClose:
      break;
    case kControllerVersion:
      // The version word follows four reserved bytes.
      answer.Payload.assign(8, 0);
      PutLe32(answer.Payload.data() + 4, options_.Ident.ControllerVersion);
      break;
    case kRxInstruction:
      if (p.size() >= 3 && p[0] == kRestartInstruction &&
          GetLe16(p.data() + 1) == kRestartNowParameter) {
        answer.Restart = true;
      }
      break;
    case kDeviceInfo:
      answer.Payload = DeviceRecord(options_.Ident);
      break;
    case kFpgaEnd:
      ++fpgaEnds_;
      break;
    case kStatusByte:
      answer.Payload = {options_.StatusByte};
      break;
    case kFpgaStart:
      ++fpgaStarts_;
      answer.Payload = {kFpgaStartAcknowledge};
      break;
    case kDataBlock:
      if (!p.empty()) {
        // A count above the bytes carried takes only what arrived.
        const size_t n = std::min<size_t>(p[0], p.size() - 1);
        fpga_.insert(fpga_.end(), p.begin() + 1, p.begin() + 1 + static_cast<std::ptrdiff_t>(n));
        answer.Payload = {p[0]};  // the echo of the count
      }
      break;
    case kFlashErase: {
      FlashDownload download;
      if (p.size() > 4) download.Region.assign(p.begin() + 4, p.end());
      flash_.push_back(std::move(download));
      break;
    }
    case kFlashBlock:
      if (p.size() < 2) break;
      if (flash_.empty()) flash_.emplace_back();  // blocks without an erase still count
      flash_.back().Blocks.push_back(
          FlashBlock{p[0], std::vector<uint8_t>(p.begin() + 2, p.end())});
      break;
    case kFlashFinish:
      if (!flash_.empty()) flash_.back().Finished = true;
      break;
    case kRestartIntoIap:
      answer.Restart = true;
      break;
    case kGnssPacket:
      if (p.size() < 2) break;
      gnssFlags_.push_back(p[0]);
      gnss_.insert(gnss_.end(), p.begin() + 2, p.end());
      break;
    case kServerPackage:
      if (auto package = ParseServerPackage(p)) packages_.push_back(std::move(*package));
      answer.Restart = true;  // the server installs the package and restarts
      break;
    case kServerQuery:
      if (!options_.ServerType) {
        answer.Silent = true;
        break;
      }
      answer.Status = *options_.ServerType;
      if (answer.Status == kServerNamesPackage) {
        const std::string& name = options_.InstalledPackage;
        answer.Payload.resize(4 + name.size());
        PutLe32(answer.Payload.data(), static_cast<uint32_t>(name.size()));
        std::copy(name.begin(), name.end(), answer.Payload.begin() + 4);
      }
      break;
    case kDesktopPackage: {
      // name length, name, block length, block (file length, file bytes)
      DesktopPackage package;
      if (p.size() < 4) break;
      uint32_t nameLength = GetLe32(p.data());
      if (p.size() - 4 < uint64_t{nameLength} + 8) break;  // malformed: nothing recorded
      package.Name.assign(p.begin() + 4, p.begin() + 4 + nameLength);
      package.File.assign(p.begin() + 4 + nameLength + 8, p.end());
      desktop_.push_back(std::move(package));
      break;
    }
    case kStageQuery:
      if (!options_.StageStatus) {
        answer.Silent = true;
        break;
      }
      answer.Status = *options_.StageStatus;
      break;
    default:
      break;  // the other commands are acknowledged with status 0
  }
  return answer;
}

std::vector<ReceivedCommand> InstrumentModel::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<int32_t> InstrumentModel::CommandIds() const {
  std::lock_guard lock(mutex_);
  std::vector<int32_t> ids;
  for (const ReceivedCommand& c : commands_) ids.push_back(c.Id);
  return ids;
}

std::vector<FlashDownload> InstrumentModel::FlashDownloads() const {
  std::lock_guard lock(mutex_);
  return flash_;
}

std::vector<uint8_t> InstrumentModel::FpgaImage() const {
  std::lock_guard lock(mutex_);
  return fpga_;
}

int InstrumentModel::FpgaStarts() const {
  std::lock_guard lock(mutex_);
  return fpgaStarts_;
}

int InstrumentModel::FpgaEnds() const {
  std::lock_guard lock(mutex_);
  return fpgaEnds_;
}

std::vector<uint8_t> InstrumentModel::GnssBody() const {
  std::lock_guard lock(mutex_);
  return gnss_;
}

std::vector<uint8_t> InstrumentModel::GnssFlags() const {
  std::lock_guard lock(mutex_);
  return gnssFlags_;
}

std::vector<ServerPackage> InstrumentModel::ServerPackages() const {
  std::lock_guard lock(mutex_);
  return packages_;
}

std::vector<DesktopPackage> InstrumentModel::DesktopPackages() const {
  std::lock_guard lock(mutex_);
  return desktop_;
}

int InstrumentModel::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

int InstrumentModel::OpenConnections() const {
  std::lock_guard lock(mutex_);
  return open_;
}

}  // namespace vesk::sim

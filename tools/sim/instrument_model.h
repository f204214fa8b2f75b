#pragma once

// The instrument as the simulator plays it, apart from any link: it takes
// commands (in the instrument's Ethernet command numbering, with their
// payload bytes), answers them, and records exactly what the updater wrote.
// The Ethernet front end (ethernet_front_end.h) drives it over TCP; a USB
// front end can drive the same model by mapping its request packets onto
// these commands.
//
// Every member function is safe to call from any thread: the front end
// handles commands on its own thread while a test reads the records.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vesk::sim {

// What the instrument reports about itself (command 5 and command 3).
struct Identity {
  uint64_t Uid = 0x0123456789ABCDEFull;
  uint16_t ModelCode = 40;
  uint16_t HardwareCode = 0;
  uint32_t McuVersion = 0x00373D;   // 0.55.61
  uint32_t FpgaVersion = 0x003720;  // 0.55.32
  uint32_t Reserved = 0;
  uint32_t ControllerVersion = 0x00373D;
};

// How the instrument misbehaves on one command.
struct CommandFault {
  bool Silent = false;                 // no reply at all
  bool Drop = false;                   // close the connection instead of answering
  std::optional<int32_t> Status;       // this status word instead of the normal one
  std::optional<size_t> ShortReply;    // only this many reply bytes (flag byte included)
  // The fault strikes from this occurrence of the command on (1: the first
  // one), counted over the instrument's whole life, so that a stream can be
  // broken at its first, a middle or its last block.
  int FromOccurrence = 1;
};

struct InstrumentOptions {
  Identity Ident;
  // Answer of the device-side server to its query (command 102); none: the
  // server stays silent. With status 1 the reply names InstalledPackage.
  std::optional<int32_t> ServerType = 0;
  std::string InstalledPackage;
  // Answer to the stage query (command 1000); none: silent.
  std::optional<int32_t> StageStatus = 3;
  // Status byte read by command 21 (0x55: FPGA flash erased).
  uint8_t StatusByte = 0x55;
  // Data frames sent before each reply to an instruction command.
  int FramesBeforeReply = 0;
  // The connection is dropped, unanswered, when the command after this many
  // answered commands arrives. None: never.
  std::optional<int> CloseAfterCommands;
  // After a restart (instruction 0xF7 with parameter 1, command 28, or a
  // server package) new connections are refused this long.
  std::chrono::milliseconds RefuseAfterRestart{0};
  // Faults by command identifier.
  std::map<int32_t, CommandFault> Faults;
};

// One command as the instrument received it.
struct ReceivedCommand {
  int32_t Id = 0;
  std::vector<uint8_t> Payload;
};

// One flash download: the region handed over with the erase (command 25),
// then the blocks (command 26) with their sequence numbers.
struct FlashBlock {
  uint8_t Sequence = 0;
  std::vector<uint8_t> Data;
};
struct FlashDownload {
  std::vector<uint8_t> Region;
  std::vector<FlashBlock> Blocks;
  bool Finished = false;  // command 27 arrived
  // The blocks' data in order.
  std::vector<uint8_t> Written() const;
};

// One part of a server package: its tag and the file bytes it carried.
struct PackagePart {
  uint8_t Tag = 0;
  std::vector<uint8_t> File;
};
struct ServerPackage {
  std::vector<PackagePart> Parts;
};
struct DesktopPackage {
  std::string Name;
  std::vector<uint8_t> File;
};

// What the instrument does with one command.
struct Answer {
  bool Silent = false;               // send nothing
  bool Drop = false;                 // close the connection without answering
  int32_t Status = 0;
  std::vector<uint8_t> Payload;      // reply bytes after the status word
  std::optional<size_t> ShortReply;  // cut the reply to this many bytes
  int Frames = 0;                    // data frames before the reply
  bool Restart = false;              // the instrument restarts after answering
  std::chrono::milliseconds RefuseFor{0};  // new connections are refused this long
};

class InstrumentModel {
 public:
  explicit InstrumentModel(InstrumentOptions options = {});

  InstrumentOptions Options() const;
  void SetOptions(const InstrumentOptions& options);

  // A new connection; false while the instrument is restarting.
  bool AcceptConnection();
  // True while the instrument restarts and takes no new link.
  bool Restarting() const;
  // Called by the front end once the connection has ended.
  void ConnectionEnded();

  // Handles one command and says how to answer it. `commandsOnConnection`
  // counts the commands already answered on this connection.
  Answer Handle(const ReceivedCommand& command, int commandsOnConnection);

  // Records, oldest first.
  std::vector<ReceivedCommand> Commands() const;
  std::vector<int32_t> CommandIds() const;
  std::vector<FlashDownload> FlashDownloads() const;
  std::vector<uint8_t> FpgaImage() const;   // data of every command 23, in order
  int FpgaStarts() const;
  int FpgaEnds() const;
  std::vector<uint8_t> GnssBody() const;    // data of every command 30, in order
  std::vector<uint8_t> GnssFlags() const;   // the packet flag of each command 30
  std::vector<ServerPackage> ServerPackages() const;
  std::vector<DesktopPackage> DesktopPackages() const;
  int Connections() const;                   // accepted connections
  int OpenConnections() const;

 private:
  Answer Respond(const ReceivedCommand& command);

  mutable std::mutex mutex_;
  InstrumentOptions options_;
  std::chrono::steady_clock::time_point refuseUntil_{};
  std::vector<ReceivedCommand> commands_;
  std::map<int32_t, int> occurrences_;  // commands received so far, by identifier
  std::vector<FlashDownload> flash_;
  std::vector<uint8_t> fpga_;
  int fpgaStarts_ = 0;
  int fpgaEnds_ = 0;
  std::vector<uint8_t> gnss_;
  std::vector<uint8_t> gnssFlags_;
  std::vector<ServerPackage> packages_;
  std::vector<DesktopPackage> desktop_;
  int connections_ = 0;
  int open_ = 0;
};

// Splits a server package message into its parts (a tag byte, then a 32-bit
// length and that many bytes, repeated). Empty when the message is malformed.
std::optional<ServerPackage> ParseServerPackage(const std::vector<uint8_t>& message);

}  // namespace vesk::sim

#pragma once

// The framing of the Ethernet instrument protocol, shared by the host
// transport and the instrument simulator. All integers on the wire are
// little-endian.

#include <cstddef>
#include <cstdint>

namespace vesk {

// Command identifiers: the first four bytes of every request.
enum class EthCommand : int32_t {
  Handshake = 1,
  Close = 2,
  ReadControllerVersion = 3,
  RxInstruction = 4,
  ReadDeviceInfo = 5,
  ApplyReplyTimeout = 11,
  FpgaEnd = 20,
  ReadStatusByte = 21,
  FpgaStart = 22,
  SendDataBlock = 23,
  EnterIapMode = 24,
  FlashErase = 25,
  WriteFlashBlock = 26,
  FlashFinish = 27,
  RestartIntoIap = 28,
  GnssProbe = 29,
  GnssPacket = 30,
  // Commands of the instrument's device-side server.
  ServerPackage = 101,
  ServerQuery = 102,
  DesktopPackage = 103,
  StageQuery = 1000,
};

inline constexpr size_t kEthCommandIdSize = 4;

// A reply is zero or more data frames, each announced by a non-zero flag
// byte, then a zero flag byte and the reply proper.
inline constexpr size_t kEthFlagSize = 1;
inline constexpr size_t kEthFrameTagSize = 4;
inline constexpr size_t kEthFrameHeaderSize = 512;
inline constexpr size_t kEthFrameFixedSize = kEthFrameTagSize + kEthFrameHeaderSize;  // 516
inline constexpr size_t kEthFrameKeepLengthOffset = 100;  // within the frame header

// The reply proper: a 32-bit status, then the payload, 8191 bytes in all.
inline constexpr size_t kEthReplySize = 8191;
inline constexpr size_t kEthReplyStatusOffset = 0;
inline constexpr size_t kEthReplyPayloadOffset = 4;

// The device-side server's reply block: the flag byte and the reply together.
inline constexpr size_t kEthReplyBlockSize = kEthFlagSize + kEthReplySize;  // 8192

// The frames an instrument may send are bounded by 36 MiB of payload plus
// the frame's tag, header and a little slack.
inline constexpr size_t kEthReceiveAreaSize = 37749277;

}  // namespace vesk

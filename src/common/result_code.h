#pragma once

#include <cstdint>

namespace vesk {

// Every operation that talks to an instrument or decides about an update
// returns one of these. 0 is success; the rest are turned into sentences by
// the entry (DescribeResult) or passed through unchanged where noted.
using ResultCode = int32_t;

inline constexpr ResultCode kResultOk = 0;

// Link and transfer failures.
inline constexpr ResultCode kResultNoLink = -1;
inline constexpr ResultCode kResultTransferFailed = -8;  // also: identity unreadable
inline constexpr ResultCode kResultUsbReadTimeout = -10;
inline constexpr ResultCode kResultFileUnreadable = -20;
inline constexpr ResultCode kResultNotAcknowledged = -21;
inline constexpr ResultCode kResultGnssReplyLength = -23;
inline constexpr ResultCode kResultFpgaEndFailed = -24;
inline constexpr ResultCode kResultNoInstructionPath = -98;

// Refusals inside the component procedures (never retried).
inline constexpr ResultCode kResultNotAllowed = -301;
inline constexpr ResultCode kResultNoReturnAfterRestart = -302;
inline constexpr ResultCode kResultControllerImageUnsigned = -310;

inline constexpr ResultCode kResultLimitsFileMissing = -999;

// Ethernet results that the instruction layer passes through unchanged.
inline constexpr ResultCode kResultEthConnectFailed = 10054;
inline constexpr ResultCode kResultEthReplyTimeout = 10060;
inline constexpr ResultCode kResultEthLinkLoop = 10062;  // never produced here, only passed on

// Policy and component results, each with its sentence.
inline constexpr ResultCode kResultMcuTooOld = -10010;
inline constexpr ResultCode kResultFpgaTooOld = -10011;
inline constexpr ResultCode kResultMcuFpgaTooOld = -10012;
inline constexpr ResultCode kResultNoMcuImage = -10013;
inline constexpr ResultCode kResultNoFpgaImage = -10014;
inline constexpr ResultCode kResultNoMcuFpgaImage = -10015;
inline constexpr ResultCode kResultMcuFailed = -10016;
inline constexpr ResultCode kResultFpgaFailed = -10017;
inline constexpr ResultCode kResultGnssFailed = -10019;
inline constexpr ResultCode kResultNoGnssImage = -10023;
inline constexpr ResultCode kResultNoImages = -10026;
inline constexpr ResultCode kResultControllerTooOld = -10029;
inline constexpr ResultCode kResultNoControllerImage = -10030;
inline constexpr ResultCode kResultControllerUpdateFailed = -10031;

// Component bits used to fold several outcomes into one code.
inline constexpr int kComponentBitMcu = 1;
inline constexpr int kComponentBitFpga = 2;
inline constexpr int kComponentBitGnss = 4;

// A set of failed components (bits above, non-empty) as one code: -10016..-10022.
constexpr ResultCode ComponentFailureCode(int failedBits) {
  return -10015 - failedBits;
}

// A set of missing images as one code: MCU/FPGA alone give -10013..-10015,
// with GNSS missing -10023..-10026; nothing missing gives 0.
constexpr ResultCode MissingImagesCode(int missingBits) {
  if (missingBits == 0) return kResultOk;
  if ((missingBits & kComponentBitGnss) == 0) return -10012 - missingBits;
  return -10019 - missingBits;
}

}  // namespace vesk

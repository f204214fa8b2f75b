#pragma once

#include <cstdint>

namespace vesk::sim {

// The instrument's command numbers, as its Ethernet server knows them. The
// instrument model counts every command in this numbering, whichever link
// it arrived on; the USB front end maps request packets onto them. Written
// out here on the instrument's side, apart from the updater's own table, so
// that a wrong number on either side shows up in the tests.
enum InstrumentCommand : int32_t {
  kHandshake = 1,
  kClose = 2,
  kControllerVersion = 3,
  kRxInstruction = 4,
  kDeviceInfo = 5,
  kFpgaEnd = 20,
  kStatusByte = 21,
  kFpgaStart = 22,
  kDataBlock = 23,
  kEnterIap = 24,
  kFlashErase = 25,
  kFlashBlock = 26,
  kFlashFinish = 27,
  kRestartIntoIap = 28,
  kGnssProbe = 29,
  kGnssPacket = 30,
  kServerPackage = 101,
  kServerQuery = 102,
  kDesktopPackage = 103,
  kStageQuery = 1000,
};

}  // namespace vesk::sim

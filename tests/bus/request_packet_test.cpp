#include <gtest/gtest.h>

#include <map>

#include "bus/request_packet.h"

namespace vesk {
namespace {

// The non-zero bytes of a packet, by offset.
std::map<size_t, uint8_t> NonZero(const RequestPacket& packet) {
  std::map<size_t, uint8_t> bytes;
  for (size_t i = 0; i < packet.size(); ++i) {
    if (packet[i] != 0) bytes[i] = packet[i];
  }
  return bytes;
}

TEST(RequestPacketTest, LayoutsMatchTheInstrumentsTable) {
  const uint8_t data[3] = {0xAA, 0xBB, 0xCC};
  EXPECT_EQ(NonZero(FlashErasePacket()),
            (std::map<size_t, uint8_t>{{0, 0x01}, {2, 0xFF}, {3, 0xFF}}));
  EXPECT_EQ(NonZero(IapBlockPacket(255, data, 2)),
            (std::map<size_t, uint8_t>{{0, 0x01}, {1, 0xFF}, {3, 0xAA}, {4, 0xBB}}));
  EXPECT_EQ(NonZero(InstructionPacket(kInstrFlashEndConfirm)), (std::map<size_t, uint8_t>{{0, 0x33}}));
  EXPECT_EQ(NonZero(DataControlPacket(kFpgaEnd)),
            (std::map<size_t, uint8_t>{{0, 0xFF}, {1, 0x01}, {2, 0x05}}));
  EXPECT_EQ(NonZero(GnssPacket(2, 3, data)),
            (std::map<size_t, uint8_t>{{0, 0x24}, {1, 2}, {2, 3}, {3, 0xAA}, {4, 0xBB}, {5, 0xCC}}));
  EXPECT_EQ(NonZero(InstructionPacket(kInstrReadDeviceRecord, kDeviceRecordParameter)),
            (std::map<size_t, uint8_t>{{0, 0x09}, {1, 0x0C}, {2, 0x89}}));
  EXPECT_EQ(NonZero(InstructionPacket(kInstrIapConfirm, kIapKey)),
            (std::map<size_t, uint8_t>{{0, 0x31}, {1, 0x55}, {2, 0x55}}));
  EXPECT_EQ(NonZero(DataBlockPacket(data, 3)),
            (std::map<size_t, uint8_t>{{0, 0xFE}, {1, 3}, {2, 0xAA}, {3, 0xBB}, {4, 0xCC}}));
  RxBody body{};
  body.front() = 0x11;
  body.back() = 0x22;
  EXPECT_EQ(NonZero(RxInstructionPacket(0xF7, 0x0102, body)),
            (std::map<size_t, uint8_t>{{0, 0xF7}, {1, 0x02}, {2, 0x01}, {3, 0x11}, {186, 0x22}}));
}

TEST(RequestPacketTest, FullBlocksEndInsideThePacket) {
  std::vector<uint8_t> data(200, 0x11);
  RequestPacket iap = IapBlockPacket(1, data.data(), 128);
  EXPECT_EQ(iap[130], 0x11);
  EXPECT_EQ(iap[131], 0);
  RequestPacket gnss = GnssPacket(1, 196, data.data());
  EXPECT_EQ(gnss[198], 0x11);
  EXPECT_EQ(gnss[199], 0);
  // A data block carries at most 198 bytes, whatever count it is given.
  RequestPacket block = DataBlockPacket(data.data(), 255);
  EXPECT_EQ(block[1], 198);
  EXPECT_EQ(block[199], 0x11);
}

}  // namespace
}  // namespace vesk

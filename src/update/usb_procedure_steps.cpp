#include "update/usb_procedure_steps.h"

#include "bus/request_packet.h"
#include "bus/usb_packet_exchange.h"

namespace vesk {

namespace {

constexpr int32_t kReplyLength = 100;
constexpr uint8_t kAcknowledge = 6;
// Erasing the MCU flash takes seconds; the instrument acknowledges it with 6
// after up to ten further reads.
constexpr uint32_t kEraseTimeoutMs = 10000;
constexpr int kMaxEraseReads = 10;
constexpr std::chrono::milliseconds kBetweenFinishInstructions{50};
constexpr int kMaxStartReads = 20;

// Sends a request packet and reads its 100-byte reply; `received` is the
// reply length the exchange reports.
ResultCode Exchange(Bus& bus, const RequestPacket& packet, std::array<uint8_t, 100>& reply,
                    int32_t& received, uint32_t timeoutMs) {
  received = kReplyLength;
  return UsbExchange(bus, packet.data(), static_cast<int32_t>(packet.size()), reply.data(),
                     received, timeoutMs);
}

ResultCode Write(Bus& bus, const RequestPacket& packet) {
  return UsbWrite(bus, packet.data(), static_cast<int32_t>(packet.size()));
}

}  // namespace

ResultCode UsbEraseFlash(Bus& bus) {
  std::array<uint8_t, 100> reply{};
  int32_t received = 0;
  // Neither a failed exchange nor a missing acknowledge stops the download:
  // the blocks that follow are acknowledged one by one.
  Exchange(bus, FlashErasePacket(), reply, received, kEraseTimeoutMs);
  UsbSetTimeout(bus, kEraseTimeoutMs);
  for (int read = 0; read < kMaxEraseReads && reply[0] != kAcknowledge; ++read) {
    UsbRead(bus, reply.data(), kReplyLength);
  }
  return UsbSetTimeout(bus, kUsbDefaultTimeoutMs);
}

ResultCode UsbFinishFlash(Bus& bus) {
  std::array<uint8_t, 100> reply{};
  int32_t received = 0;
  Exchange(bus, InstructionPacket(kInstrFlashEnd), reply, received, bus.ReplyTimeoutMs);
  bus.Host.Pause(kBetweenFinishInstructions);
  ResultCode result =
      Exchange(bus, InstructionPacket(kInstrFlashEndConfirm), reply, received, bus.ReplyTimeoutMs);
  return result == kResultOk ? kResultOk : kResultTransferFailed;
}

ResultCode UsbFpgaStart(Bus& bus) {
  if (Write(bus, DataControlPacket(kFpgaStart)) != kResultOk) return kResultNotAcknowledged;
  for (int read = 0; read < kMaxStartReads; ++read) {
    uint8_t answer = 0;
    ResultCode result = UsbRead(bus, &answer, 1);
    if (answer == kFpgaStart) return result == kResultOk ? kResultOk : kResultNotAcknowledged;
  }
  return kResultNotAcknowledged;
}

ResultCode UsbFpgaEnd(Bus& bus) { return Write(bus, DataControlPacket(kFpgaEnd)); }

ResultCode UsbGnssProbe(Bus& bus) {
  std::array<uint8_t, 100> reply{};
  int32_t received = 0;
  if (Exchange(bus, InstructionPacket(kInstrGnss), reply, received, bus.ReplyTimeoutMs) !=
      kResultOk) {
    return kResultTransferFailed;
  }
  // Without a receiver the instrument answers with a short reply.
  return received == kReplyLength ? kResultOk : kResultNotAllowed;
}

ResultCode UsbGnssPacket(Bus& bus, uint8_t flag, uint8_t n, const uint8_t* data) {
  std::array<uint8_t, 100> reply{};
  int32_t received = 0;
  if (Exchange(bus, GnssPacket(flag, n, data), reply, received, bus.ReplyTimeoutMs) !=
      kResultOk) {
    return kResultTransferFailed;
  }
  return received == kReplyLength ? kResultOk : kResultGnssReplyLength;
}

}  // namespace vesk

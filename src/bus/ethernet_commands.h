#pragma once

// The instrument's Ethernet commands beyond the instruction set, as the
// component procedures and the controller update send them. Each returns the
// transport's failure code (10054, 10060) or the instrument's status word
// unchanged; callers decide what a status means.

#include <cstddef>
#include <cstdint>
#include <span>

#include "bus/bus.h"
#include "common/result_code.h"
#include "net/eth_reply.h"
#include "net/eth_wire.h"
#include "net/ethernet_link.h"

namespace vesk {

// The bus's Ethernet link, created on first use and kept for the bus's life.
EthernetLink& LinkOf(Bus& bus);

// One command exchange on the bus's link with the bus's NetTimeoutMs.
ResultCode SendCommand(Bus& bus, EthCommand command, std::span<const uint8_t> payload,
                       EthReply& reply);

// Hands the instrument a whole flash region; it erases its flash to take it.
ResultCode EthFlashErase(Bus& bus, const uint8_t* region, uint32_t size);

// Ends a flash download.
ResultCode EthFlashFinish(Bus& bus);

// Restarts the instrument's MCU into in-application programming.
ResultCode EthRestartIntoIap(Bus& bus, int32_t deviceIndex);

// Starts an FPGA download (the instrument starts erasing); the one-byte
// acknowledge in the reply is not examined.
ResultCode EthFpgaStart(Bus& bus);

// Ends an FPGA download.
ResultCode EthFpgaEnd(Bus& bus);

// Asks whether a GNSS receiver is fitted; -21 means it is not.
ResultCode EthGnssProbe(Bus& bus);

// One packet of GNSS firmware: flag 1 while more follow, 2 for the last.
ResultCode EthGnssPacket(Bus& bus, uint8_t flag, uint8_t n, const uint8_t* data);

// Reads the USB controller's firmware version word; `version` is set only
// when the result is 0.
ResultCode EthReadControllerVersion(Bus& bus, uint32_t& version);

}  // namespace vesk

#pragma once

// The per-link forms of the bus operations. bus.cpp and instructions.cpp
// dispatch on Bus::Interface and call these; ethernet_forms.cpp holds the
// ETH forms and usb_forms.cpp the USB forms.

#include <array>
#include <cstdint>

#include "bus/bus.h"
#include "bus/device_info.h"
#include "bus/instructions.h"

namespace vesk {

ResultCode EthOpen(Bus& bus);
ResultCode EthClose(Bus& bus);
ResultCode EthReadStatusByte(Bus& bus, uint8_t& out);
ResultCode EthSendDataBlock(Bus& bus, const uint8_t* data, uint8_t n, uint8_t& echo);
ResultCode EthSendRxInstruction(Bus& bus, uint8_t instruction, uint16_t parameter,
                                const RxBody& body);
ResultCode EthReadDeviceInfo(Bus& bus, DeviceInfo& out);
ResultCode EthApplyReplyTimeout(Bus& bus);
ResultCode EthEnterIapMode(Bus& bus);
ResultCode EthWriteFlashBlock(Bus& bus, const uint8_t* data, uint8_t sequence, uint8_t n);

ResultCode UsbOpen(Bus& bus, int32_t deviceIndex);
ResultCode UsbClose(Bus& bus);
ResultCode UsbReadStatusByte(Bus& bus, uint8_t& out);
ResultCode UsbSendDataBlock(Bus& bus, const uint8_t* data, uint8_t n, uint8_t& echo);
ResultCode UsbSendRxInstruction(Bus& bus, uint8_t instruction, uint16_t parameter,
                                const RxBody& body);
ResultCode UsbReadDeviceRecord(Bus& bus, std::array<uint8_t, kDeviceRecordSize>& out);
ResultCode UsbReadDeviceInfo(Bus& bus, DeviceInfo& out);
ResultCode UsbApplyReplyTimeout(Bus& bus);
ResultCode UsbEnterIapMode(Bus& bus);
ResultCode UsbWriteFlashBlock(Bus& bus, const uint8_t* data, uint8_t sequence, uint8_t n);

}  // namespace vesk

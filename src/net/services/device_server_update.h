#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "bus/bus.h"
#include "common/result_code.h"
#include "net/eth_wire.h"

namespace vesk {

// The server update answers -1 when the instrument's server declines updates.
inline constexpr ResultCode kResultServerDeclinesUpdate = -1;

// How many one-second answers the desktop package install is waited for at
// most before the wait is given up.
inline constexpr int kDesktopInstallReads = 120;

// Brings the device-side server of an Ethernet instrument up to date: asks
// which kind of device it serves (serverDeviceType: 0 KT, 1 VQ, 2 VQZ, -1000
// no answer), sends the temporary server when the instrument needs that
// step, then the server package data/KT/ZIVidize.zip, reconnecting the bus
// after each, and finally a newer desktop package from data/VQ/ when the
// instrument reports one of the same family installed. The bus must be open
// over ETH; any other link is left alone with 0. Returns -1 when the server
// declines updates, -20 when a package file cannot be read although it was
// found, otherwise 0.
ResultCode UpdateDeviceServer(Bus& bus, int32_t deviceIndex, int32_t& serverDeviceType);

// The server's answer to the server query as its reply block carries it: the
// device-type word, and the installed desktop package's name when the word
// says one is installed (empty otherwise).
struct ServerQueryAnswer {
  int32_t DeviceType = 0;
  std::string InstalledPackage;
};
ServerQueryAnswer ReadServerQueryAnswer(std::span<const uint8_t, kEthReplyBlockSize> block);

}  // namespace vesk

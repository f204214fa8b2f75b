#pragma once

#include <chrono>
#include <cstdint>

#include "common/result_code.h"
#include "net/services/local_addresses.h"
#include "net/services/network_discovery.h"

namespace vesk {

// The waits of the address exchange. The instrument needs a while to apply
// new settings before it reports them, hence the longer second phase.
struct AssignmentTiming {
  // First wait of a request, and the wait after each resend.
  std::chrono::milliseconds answerWait{1000};
  // First wait of the second phase; the instrument's report is awaited for
  // kSettingsReportWaitFactor times as long.
  std::chrono::milliseconds secondPhaseWait{4000};
};

inline constexpr int kSettingsReportWaitFactor = 3;
// Resends shared by all requests of one phase on one host address.
inline constexpr int kResendsPerPhase = 3;
// The final notice goes out this many times; it is never answered.
inline constexpr int kConfirmAckRepeats = 3;

// Sends the two settings words to the instrument with identifier
// (idLow, idHigh): from each host address in turn until an instrument takes
// them, then awaits the instrument's report of the applied settings.
ResultCode SetNetworkDeviceIp(const HostAddressSource& hostAddresses,
                              const AssignmentTiming& timing, uint32_t idLow, uint32_t idHigh,
                              int32_t firstWord, int32_t secondWord);

// Lists the instruments and assigns to the first whose current address is
// `currentAddress` (4 bytes, first part first).
ResultCode SetNetworkDeviceIpAtAddress(const HostAddressSource& hostAddresses,
                                       const DiscoveryTiming& discoveryTiming,
                                       const AssignmentTiming& assignmentTiming,
                                       const uint8_t* currentAddress, int32_t firstWord,
                                       int32_t secondWord);

// The result for the status an instrument reports with its applied settings.
ResultCode ResultOfReportedStatus(int8_t status);

}  // namespace vesk

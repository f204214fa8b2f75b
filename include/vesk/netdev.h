/*
 * Network device services of the VESK Firmware Updater: find the Ethernet
 * instruments on the host's local networks and give one of them new address
 * settings. Usable from C and C++; link with libvesk-netdev.so.
 *
 * Every function returns 0 on success and a positive result code otherwise;
 * none keeps a pointer past the call and none lets a C++ exception escape.
 * Calls block the calling thread: a device list takes up to 2 seconds, an
 * address assignment up to about 4 seconds per host address plus 12 seconds
 * for the instrument to report back.
 */
#ifndef VESK_NETDEV_H
#define VESK_NETDEV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VESK_NETDEV_API __attribute__((visibility("default")))

/* One device record is 32 bytes; a list holds at most 64 of them. */
#define VESK_NETDEV_RECORD_BYTES 32
#define VESK_NETDEV_MAX_RECORDS 64
#define VESK_NETDEV_LIST_BYTES (VESK_NETDEV_RECORD_BYTES * VESK_NETDEV_MAX_RECORDS)

/* Result codes. */
#define VESK_NETDEV_OK 0
/* Address assignment: no instrument answered on any host address, the host
 * has no IPv4 address, or the instrument reported status 1. */
#define VESK_NETDEV_NO_ANSWER 10065
/* Address assignment: the instrument reported status s (2..127) as
 * VESK_NETDEV_STATUS_BASE + s, or a negative status s as
 * VESK_NETDEV_NEGATIVE_STATUS_BASE - s. */
#define VESK_NETDEV_STATUS_BASE 10063
#define VESK_NETDEV_NEGATIVE_STATUS_BASE 10070
/* Assignment by current address: no listed instrument has that address. */
#define VESK_NETDEV_ADDRESS_NOT_LISTED 10069
/* Device list: a received list failed its checksum or did not fit its own
 * length or the 64-record area. Address assignment: the instrument stopped
 * answering after it had accepted the settings. */
#define VESK_NETDEV_BAD_LIST 10076
#define VESK_NETDEV_CONFIRMATION_FAILED 10076
/* Device list: the host's interface list could not be read for the mask. */
#define VESK_NETDEV_ADDRESS_REPORT_FAILED 10079
/* Device list: no list arrived within 2 seconds. */
#define VESK_NETDEV_TIMEOUT 10080
/* Device list: a receive failed and no list was accepted. */
#define VESK_NETDEV_RECEIVE_FAILED 10081

/* Codes of this library for failures outside the instrument exchange; they
 * lie above every code an instrument status can produce (10065..10198). */
/* The host's own name could not be read. */
#define VESK_NETDEV_HOST_NAME_FAILED 10201
/* The host's own name could not be resolved to addresses. */
#define VESK_NETDEV_RESOLVE_FAILED 10202
/* A UDP socket could not be opened, tied to its interface, bound (the port
 * is taken) or configured; for a device list: no listener could start. */
#define VESK_NETDEV_SOCKET_FAILED 10203
/* A required pointer argument was NULL. */
#define VESK_NETDEV_INVALID_ARGUMENT 10204
/* The host ran out of a resource (memory, threads) or met an unexpected
 * internal failure. */
#define VESK_NETDEV_INTERNAL_ERROR 10205

/*
 * Listens up to 2 seconds on UDP port 50002 of every host IPv4 address for
 * one device list. `records` (2048 bytes) is cleared, then receives up to 64
 * records of 32 bytes: bytes 0..3 the identifier's low word, 4..7 its high
 * word (little-endian), 20..23 the device's current IPv4 address. `count`
 * receives the number of records. `localAddress` (4 bytes, first dotted part
 * first) and `subnetMask` (4 bytes) receive the host address on which the
 * list arrived and its mask; they are written only when a list is accepted.
 */
VESK_NETDEV_API int32_t Device_GetNetworkDeviceList(uint8_t* count, uint8_t* records,
                                                    uint8_t* localAddress, uint8_t* subnetMask);

/*
 * Broadcasts the two settings words to the instrument with the identifier
 * (idLow, idHigh) on UDP port 50003, from each host address in turn until an
 * instrument answers, then waits for the instrument's own report.
 * The words are read once; nothing is written back.
 */
VESK_NETDEV_API int32_t Device_SetNetworkDeviceIP(uint32_t idLow, uint32_t idHigh,
                                                  const int32_t* firstWord,
                                                  const int32_t* secondWord);

/*
 * Lists the devices, takes the first whose current address equals the 4 bytes
 * of `currentAddress`, and assigns as Device_SetNetworkDeviceIP does. A failed
 * listing returns its code unchanged.
 */
VESK_NETDEV_API int32_t Device_SetNetworkDeviceIP_PM1(const uint8_t* currentAddress,
                                                      const int32_t* firstWord,
                                                      const int32_t* secondWord);

#ifdef __cplusplus
}
#endif

#endif /* VESK_NETDEV_H */

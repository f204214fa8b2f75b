/* A C program using libvesk-netdev.so through its public header, run in a
 * private network with one peer instrument announcing two devices
 * (identifiers 0x11223344:0x55667788 and 0x11223345:0x55667788, current
 * addresses 192.168.7.2 and 192.168.7.3). */

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "vesk/netdev.h"

static int failures = 0;

static void Expect(int condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

static uint32_t Le32(const uint8_t* at) {
  return (uint32_t)at[0] | ((uint32_t)at[1] << 8) | ((uint32_t)at[2] << 16) |
         ((uint32_t)at[3] << 24);
}

int main(void) {
  uint8_t count = 0;
  uint8_t records[VESK_NETDEV_LIST_BYTES];
  uint8_t local[4] = {0};
  uint8_t mask[4] = {0};
  const uint8_t hostAddress[4] = {192, 168, 7, 1};
  const uint8_t hostMask[4] = {255, 255, 255, 0};
  int32_t first = 0x0A07A8C0;
  int32_t second = -256;
  const uint8_t listed[4] = {192, 168, 7, 2};
  const uint8_t unlisted[4] = {192, 168, 7, 9};

  memset(records, 0xEE, sizeof records);
  Expect(Device_GetNetworkDeviceList(&count, records, local, mask) == VESK_NETDEV_OK,
         "list succeeds");
  Expect(count == 2, "two devices listed");
  Expect(Le32(records) == 0x11223344u && Le32(records + 4) == 0x55667788u, "first identifier");
  Expect(Le32(records + 32) == 0x11223345u, "second identifier");
  Expect(records[64] == 0 && records[VESK_NETDEV_LIST_BYTES - 1] == 0, "rest of the list cleared");
  Expect(memcmp(local, hostAddress, 4) == 0, "host address of the list");
  Expect(memcmp(mask, hostMask, 4) == 0, "mask of the host address");

  Expect(Device_SetNetworkDeviceIP(0x11223344u, 0x55667788u, &first, &second) == VESK_NETDEV_OK,
         "assignment by identifier succeeds");
  Expect(Device_SetNetworkDeviceIP_PM1(listed, &first, &second) == VESK_NETDEV_OK,
         "assignment by current address succeeds");
  Expect(Device_SetNetworkDeviceIP_PM1(unlisted, &first, &second) == VESK_NETDEV_ADDRESS_NOT_LISTED,
         "unlisted address");
  Expect(Device_GetNetworkDeviceList(NULL, records, local, mask) == VESK_NETDEV_INVALID_ARGUMENT,
         "null count refused");
  Expect(Device_SetNetworkDeviceIP(1, 2, NULL, &second) == VESK_NETDEV_INVALID_ARGUMENT,
         "null settings word refused");

  if (failures == 0) printf("all checks passed\n");
  return failures == 0 ? 0 : 1;
}

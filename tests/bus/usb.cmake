vesk_add_test(vesk_bus_usb_tests
  SOURCES usb_packet_exchange_test.cpp usb_instructions_test.cpp
  LIBS vesk_bus vesk_usb_fixture)

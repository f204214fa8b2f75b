# The Ethernet transport against the simulated instrument on 127.0.0.1.
vesk_add_test(net_transport_test
  SOURCES ethernet_transport_test.cpp
  LIBS vesk_bus vesk_sim)
# The simulator on the instruments' fixed address, inside a private network.
vesk_add_netns_test(net_fixed_address_test
  SOURCES fixed_address_test.cpp
  LIBS vesk_bus vesk_sim)

# The Ethernet forms of the instructions and the typed instrument commands.
vesk_add_test(bus_eth_instructions_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/eth_instructions_test.cpp
  LIBS vesk_bus vesk_sim)

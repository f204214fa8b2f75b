# Network device services: wire layouts offline; discovery and address
# assignment against the device-side peer inside a private network namespace.
vesk_add_test(netdev_wire_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netdev_wire_test.cpp
  LIBS vesk_netdev_objects)

add_library(vesk_netdev_test_network STATIC ${CMAKE_CURRENT_LIST_DIR}/netdev_peer_network.cpp)
target_include_directories(vesk_netdev_test_network PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vesk_netdev_test_network PUBLIC vesk_netdev_peer vesk_test_netns_main)

vesk_add_netns_test(netdev_discovery_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netdev_discovery_test.cpp
  LIBS vesk_netdev_objects vesk_netdev_test_network)

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

vesk_add_netns_test(netdev_assignment_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netdev_assignment_test.cpp
  LIBS vesk_netdev_objects vesk_netdev_test_network)

# The exported library used as a stranger would: from C through its header,
# and from Python through ctypes, inside a private network with a peer.
add_executable(netdev_private_run ${CMAKE_CURRENT_LIST_DIR}/netdev_private_run.cpp)
target_link_libraries(netdev_private_run PRIVATE vesk_netdev_test_network)

add_executable(netdev_c_client ${CMAKE_CURRENT_LIST_DIR}/netdev_c_client.c)
target_link_libraries(netdev_c_client PRIVATE vesk-netdev)
add_test(NAME netdev_c_client COMMAND netdev_private_run $<TARGET_FILE:netdev_c_client>)
set_tests_properties(netdev_c_client PROPERTIES SKIP_RETURN_CODE 77)

find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME netdev_ctypes_test
    COMMAND netdev_private_run ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/netdev_ctypes_test.py
            $<TARGET_FILE:vesk-netdev>)
  set_tests_properties(netdev_ctypes_test PROPERTIES SKIP_RETURN_CODE 77)
endif()

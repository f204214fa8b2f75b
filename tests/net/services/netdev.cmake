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
  # The interpreter is not built with the sanitizers; their runtime must be
  # loaded into it (and only into it) before the library.
  set(netdev_python_environment)
  # The interpreter itself rather than a launcher script in front of it
  # (pyenv's shims do not survive a preloaded sanitizer runtime).
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import sys; print(sys.executable)"
                  OUTPUT_VARIABLE netdev_python OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(VESK_SANITIZE)
    set(netdev_sanitizer_runtime libasan.so)
  elseif(VESK_TSAN OR CMAKE_CXX_FLAGS MATCHES "sanitize=thread")
    set(netdev_sanitizer_runtime libtsan.so)
  endif()
  if(netdev_sanitizer_runtime)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${netdev_sanitizer_runtime}
                    OUTPUT_VARIABLE netdev_sanitizer_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(netdev_python_environment LD_PRELOAD=${netdev_sanitizer_path} ASAN_OPTIONS=detect_leaks=0)
  endif()
  add_test(NAME netdev_ctypes_test
    COMMAND netdev_private_run env ${netdev_python_environment} ${netdev_python}
            ${CMAKE_CURRENT_LIST_DIR}/netdev_ctypes_test.py $<TARGET_FILE:vesk-netdev>)
  set_tests_properties(netdev_ctypes_test PROPERTIES SKIP_RETURN_CODE 77)
endif()

# The command-line front end over the same private network.
add_test(NAME netdev_cli_list COMMAND netdev_private_run $<TARGET_FILE:vesk-netdev-cli> list)
set_tests_properties(netdev_cli_list PROPERTIES SKIP_RETURN_CODE 77 PASS_REGULAR_EXPRESSION
  "Device 1: id 287454020:1432778632 address 192\\.168\\.7\\.2\nDevice 2: id 287454021:1432778632 address 192\\.168\\.7\\.3\nHost address: 192\\.168\\.7\\.1 mask 255\\.255\\.255\\.0\nDevices: 2\nResult: 0\n")
add_test(NAME netdev_cli_assign_unlisted
  COMMAND netdev_private_run $<TARGET_FILE:vesk-netdev-cli> assign --current 192.168.7.9 --first 1 --second 2)
set_tests_properties(netdev_cli_assign_unlisted PROPERTIES SKIP_RETURN_CODE 77 PASS_REGULAR_EXPRESSION "Result: 10069\n")
add_test(NAME netdev_cli_assign_by_id
  COMMAND netdev_private_run $<TARGET_FILE:vesk-netdev-cli> assign --id 0x11223344:0x55667788 --first 1 --second 2)
set_tests_properties(netdev_cli_assign_by_id PROPERTIES SKIP_RETURN_CODE 77)

vesk_add_netns_test(netdev_local_addresses_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netdev_local_addresses_test.cpp
  LIBS vesk_netdev_objects vesk_netdev_test_network)

# Network device services: host addresses, discovery of Ethernet instruments
# and address assignment. One set of objects, built position-independent with
# hidden symbols, goes into both the exported library and the tests.
add_library(vesk_netdev_objects OBJECT
  ${CMAKE_CURRENT_LIST_DIR}/crc32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discovery_datagram.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_message.cpp
  ${CMAKE_CURRENT_LIST_DIR}/local_addresses.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_udp_socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network_discovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/address_assignment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/netdev_exports.cpp
)
set_target_properties(vesk_netdev_objects PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(vesk_netdev_objects PUBLIC
  ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(vesk_netdev_objects PUBLIC vesk_asio ZLIB::ZLIB Threads::Threads)

# libvesk-netdev.so at the build root. The version script keeps every symbol
# but the three functions local, including the standard library's template
# instances, which carry default visibility from their headers.
add_library(vesk-netdev SHARED $<TARGET_OBJECTS:vesk_netdev_objects>)
target_link_libraries(vesk-netdev PRIVATE vesk_asio ZLIB::ZLIB Threads::Threads)
target_include_directories(vesk-netdev PUBLIC ${PROJECT_SOURCE_DIR}/include)
target_link_options(vesk-netdev PRIVATE
  -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/vesk-netdev.map)
set_target_properties(vesk-netdev PROPERTIES
  OUTPUT_NAME vesk-netdev
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/vesk-netdev.map)

# Command-line front end over the exported functions.
add_executable(vesk-netdev-cli ${CMAKE_CURRENT_LIST_DIR}/netdev_main.cpp)
target_link_libraries(vesk-netdev-cli PRIVATE vesk-netdev)
set_target_properties(vesk-netdev-cli PROPERTIES
  OUTPUT_NAME vesk-netdev
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# ThreadSanitizer builds (VESK_TSAN, or CMAKE_CXX_FLAGS with -fsanitize=thread): GCC warns
# that asio's handler fences are invisible to the sanitizer; with -Werror
# that would stop the build of everything that includes asio here.
if((VESK_TSAN OR CMAKE_CXX_FLAGS MATCHES "sanitize=thread") AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(vesk_netdev_objects PUBLIC -Wno-tsan)
endif()

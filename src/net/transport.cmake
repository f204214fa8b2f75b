# The TCP link to an Ethernet instrument: connection, command framing and
# reply waits with deadlines. Only this library and the simulator see asio.
add_library(vesk_net STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ethernet_link.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_error.cpp
  ${CMAKE_CURRENT_LIST_DIR}/receive_area.cpp
)
target_include_directories(vesk_net PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vesk_net PUBLIC vesk_common PRIVATE vesk_asio)

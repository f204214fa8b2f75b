# The device-side server update of Ethernet instruments.
add_library(vesk_server_update STATIC
  ${CMAKE_CURRENT_LIST_DIR}/device_server_update.cpp
)
target_link_libraries(vesk_server_update PUBLIC vesk_bus)

# The device-server update against the simulated instrument on 127.0.0.1,
# with server packages in temporary folders.
vesk_add_test(net_device_server_update_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_server_update_test.cpp
  LIBS vesk_server_update vesk_sim)

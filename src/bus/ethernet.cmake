# The Ethernet forms of the bus operations and the typed instrument commands.
target_sources(vesk_bus PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ethernet_commands.cpp)
target_link_libraries(vesk_bus PUBLIC vesk_net)

# The USB half of the bus: the FX3 packet exchange on the USB device layer.
target_sources(vesk_bus PRIVATE ${CMAKE_CURRENT_LIST_DIR}/usb_packet_exchange.cpp)
target_link_libraries(vesk_bus PUBLIC vesk_usb)

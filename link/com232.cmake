# The sensor link on top of the serial-port services: frames and the parameter packet, port
# opening and line check, identification, parameter read-back, the measurement cycle.
add_library(rorir_com232 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/com232_codec.h ${CMAKE_CURRENT_LIST_DIR}/com232_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232.h
  ${CMAKE_CURRENT_LIST_DIR}/com232_decode.h ${CMAKE_CURRENT_LIST_DIR}/com232_decode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232_owner.h ${CMAKE_CURRENT_LIST_DIR}/com232_owner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232_ident.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232_read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232_cycle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232_monitor.h ${CMAKE_CURRENT_LIST_DIR}/com232_monitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com232_watch.cpp)
target_include_directories(rorir_com232 PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(rorir_com232 PUBLIC rorir_state rorir_rs232 rorir_display rorir_userint)

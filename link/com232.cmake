# The sensor link on top of the serial-port services: frames and the parameter packet first;
# port opening, identification, read-back and the measurement cycle join this library.
add_library(rorir_com232 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/com232_codec.h ${CMAKE_CURRENT_LIST_DIR}/com232_codec.cpp)
target_include_directories(rorir_com232 PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(rorir_com232 PUBLIC rorir_state)

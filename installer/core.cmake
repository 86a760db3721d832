# The installer's configuration, command line and environment probes.
#   installer_portable: command line, configuration and tracking-block parsing,
#                       built in both trees (natively for the tests and tinfo).
#   installer_core:     the Windows probes on top of it.
# Included from installer/CMakeLists.txt (both trees).

add_library(installer_portable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/buildvariant.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commandline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/peruser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tracking.cpp)
target_include_directories(installer_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_portable PUBLIC plib protocols)

if(WIN32)
  add_library(installer_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/adminonlycopy_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/config_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/desktopuser_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tracking_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/environment_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payload_resource_win.cpp)
  target_link_libraries(installer_core PUBLIC installer_portable installer_ui plib shell32 ole32 user32 advapi32)
endif()


# The install engine: the worker thread, registration with Windows and the
# files left for the client.
#   installer_engine_portable: time-stamp texts and uninstall entry values, built in both trees (the
#                              journal it writes is protocols/installjournal.h).
#   installer_engine:          the Windows worker on top of it.

add_library(installer_engine_portable STATIC ${CMAKE_CURRENT_LIST_DIR}/timestamps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entryvalues.cpp)
target_include_directories(installer_engine_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_engine_portable PUBLIC plib)

if(WIN32)
  add_library(installer_engine STATIC
    ${CMAKE_CURRENT_LIST_DIR}/InstallOptions_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstallerThread_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/desktopshell_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installfailure_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installfolders_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payloadcheck_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payloadfilewriter_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/previousfiles_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Registration_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rollback_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UserSettings_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/userstart_win.cpp)
  target_link_libraries(installer_engine PUBLIC installer_engine_portable installer_core protocols plib ole32 shell32 uuid)
endif()


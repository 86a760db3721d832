# The installer's configuration, command line and environment probes.
#   installer_portable: command line, configuration and tracking-block parsing,
#                       built in both trees (natively for the tests and tinfo).
#   installer_core:     the Windows probes on top of it.
# Included from the top-level CMakeLists (both trees) and from installer/.
include_guard(GLOBAL)

add_library(installer_portable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/buildvariant.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commandline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tracking.cpp)
target_include_directories(installer_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_portable PUBLIC plib protocols)

if(WIN32)
  add_library(installer_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/config_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tracking_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/environment_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payload_resource_win.cpp)
  target_link_libraries(installer_core PUBLIC installer_portable installer_ui plib shell32 ole32 user32 advapi32)
endif()

# The programs the Windows tests start: stand-ins for a running client and a
# sibling's uninstaller, and a reader of its own tracking block.
if(WIN32 AND MORVANDITE_TESTS)
  set(_core_helpers ${PROJECT_SOURCE_DIR}/tests/windows/helpers)
  add_executable(instance_holder ${_core_helpers}/instance_holder.cpp)
  add_executable(record_args ${_core_helpers}/record_args.cpp)
  add_executable(tracking_probe ${_core_helpers}/tracking_probe.cpp)
  target_link_libraries(tracking_probe PRIVATE installer_core)
endif()

# The test executables are made in tests/, after this file has run.
function(_installer_core_link_tests)
  if(TARGET native_tests)
    target_link_libraries(native_tests PRIVATE installer_portable)
    add_dependencies(native_tests tinfo)
  endif()
  foreach(t IN ITEMS installer_config_test installer_tracking_test installer_environment_test
                     installer_sibling_test installer_instance_gui_test)
    if(TARGET ${t})
      target_link_libraries(${t} PRIVATE installer_core)
      add_dependencies(${t} instance_holder record_args tracking_probe)
    endif()
  endforeach()
  # The configuration test embeds the shipped section and two of its own;
  # the tests that ask questions embed the message table for their texts.
  if(TARGET installer_config_test)
    target_include_directories(installer_config_test PRIVATE
      ${PROJECT_SOURCE_DIR}/resources ${PROJECT_SOURCE_DIR}/tests/windows/data)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/tests/windows/installer_config_test.rc
                 DIRECTORY ${PROJECT_SOURCE_DIR}/tests APPEND PROPERTY OBJECT_DEPENDS
                 ${PROJECT_SOURCE_DIR}/resources/config.ini
                 ${PROJECT_SOURCE_DIR}/tests/windows/data/installer-config/no-define.ini
                 ${PROJECT_SOURCE_DIR}/tests/windows/data/installer-config/variant.ini)
  endif()
  foreach(t IN ITEMS installer_sibling_test installer_instance_gui_test)
    if(TARGET ${t})
      morvandite_embed_message_table(${t} ${PROJECT_SOURCE_DIR}/tests/windows/${t}.rc)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_core_link_tests)

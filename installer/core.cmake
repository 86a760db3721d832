# The installer's configuration, command line and environment probes.
#   installer_portable: command line, configuration and tracking-block parsing,
#                       built in both trees (natively for the tests and tinfo).
#   installer_core:     the Windows probes on top of it.
# Included from the top-level CMakeLists (both trees) and from installer/.
include_guard(GLOBAL)

add_library(installer_portable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/commandline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tracking.cpp)
target_include_directories(installer_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_portable PUBLIC plib protocols)

# The test executables are made in tests/, after this file has run.
function(_installer_core_link_tests)
  if(TARGET native_tests)
    target_link_libraries(native_tests PRIVATE installer_portable)
    add_dependencies(native_tests tinfo)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_core_link_tests)

# The installer itself: the page, its rules and start-up (installer_app), and
# MorvanditeInstall.exe with every resource it carries (resources/installer.rc).
# Included from installer/CMakeLists.txt (Windows builds only).
include_guard(GLOBAL)

# The client's files come from the payload_tree target, which assembles them in
# MORVANDITE_PAYLOAD_DIR (build/windows/payload).
if(WIN32 AND NOT TARGET payload_tree AND EXISTS ${PROJECT_SOURCE_DIR}/resources/payload/CMakeLists.txt)
  add_subdirectory(${PROJECT_SOURCE_DIR}/resources/payload ${CMAKE_BINARY_DIR}/payload-build)
endif()

add_library(installer_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/MorvanditeInstall_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installlocation_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_win.cpp)
target_include_directories(installer_app PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_app PUBLIC installer_core installer_engine installer_ui plib)

# The payload resource: the assembled folder packed by the native mkpayload
# (build/native/bin, built first by tools/build.sh).
set(MORVANDITE_MKPAYLOAD ${CMAKE_BINARY_DIR}/../native/bin/mkpayload
    CACHE FILEPATH "The native mkpayload tool the Windows build runs to pack payloads")
set(MORVANDITE_PAYLOAD_BIN ${CMAKE_BINARY_DIR}/generated/payload.bin CACHE INTERNAL "The packed payload, resource 130 of the installer")
# An already packed payload can stand in for the assembled client: the
# installer benchmark (tools/bench/installer-bench.sh) builds a tree of its
# own around its synthetic client this way.
set(MORVANDITE_PAYLOAD_FILE "" CACHE FILEPATH
    "A packed payload to embed instead of the assembled client (empty: pack the client)")
if(MORVANDITE_PAYLOAD_FILE)
  add_custom_command(
    OUTPUT ${MORVANDITE_PAYLOAD_BIN}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND ${CMAKE_COMMAND} -E copy ${MORVANDITE_PAYLOAD_FILE} ${MORVANDITE_PAYLOAD_BIN}
    DEPENDS ${MORVANDITE_PAYLOAD_FILE}
    COMMENT "Embedding the packed payload ${MORVANDITE_PAYLOAD_FILE}"
    VERBATIM)
else()
  add_custom_command(
    OUTPUT ${MORVANDITE_PAYLOAD_BIN}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND ${MORVANDITE_MKPAYLOAD} ${MORVANDITE_PAYLOAD_DIR} ${MORVANDITE_PAYLOAD_BIN}
    DEPENDS payload_tree ${MORVANDITE_PAYLOAD_DIR}/uninstall.lst ${MORVANDITE_MKPAYLOAD}
    COMMENT "Packing the installer's payload from ${MORVANDITE_PAYLOAD_DIR}"
    VERBATIM)
endif()
add_custom_target(installer_payload DEPENDS ${MORVANDITE_PAYLOAD_BIN})

add_executable(MorvanditeInstall WIN32
  ${CMAKE_CURRENT_LIST_DIR}/winmain_win.cpp
  ${PROJECT_SOURCE_DIR}/resources/installer.rc)
target_link_libraries(MorvanditeInstall PRIVATE installer_app)
# Small, and mapped rather than copied by the loader (cmake/SizeOptimise.cmake).
include(${PROJECT_SOURCE_DIR}/cmake/SizeOptimise.cmake)
morvandite_size_optimise(MorvanditeInstall)
morvandite_mappable_image(MorvanditeInstall)
set_target_properties(MorvanditeInstall PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_dependencies(MorvanditeInstall installer_payload)
target_include_directories(MorvanditeInstall PRIVATE ${PROJECT_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/generated)
morvandite_embed_message_table(MorvanditeInstall ${PROJECT_SOURCE_DIR}/resources/installer.rc)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/installer.rc DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
             APPEND PROPERTY OBJECT_DEPENDS
             ${MORVANDITE_PAYLOAD_BIN}
             ${PROJECT_SOURCE_DIR}/resources/config.ini
             ${PROJECT_SOURCE_DIR}/resources/installer.manifest)

# Drives the installer's window by class and control ids (tools/run-headless.sh).
add_executable(installer_driver ${PROJECT_SOURCE_DIR}/tools/installer-driver/installer_driver.cpp)
set_target_properties(installer_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The Wine tests of the page (in process) and of the finished program; their
# targets are made later, in tests/.
function(_installer_app_link_tests)
  if(TARGET installer_window_gui_test)
    target_link_libraries(installer_window_gui_test PRIVATE installer_app)
    target_include_directories(installer_window_gui_test PRIVATE
      ${PROJECT_SOURCE_DIR}/resources ${PROJECT_SOURCE_DIR}/tests/windows/helpers)
    add_dependencies(installer_window_gui_test installer_payload)
    morvandite_embed_message_table(installer_window_gui_test ${PROJECT_SOURCE_DIR}/tests/windows/installer_window_gui_test.rc)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/tests/windows/installer_window_gui_test.rc
                 DIRECTORY ${PROJECT_SOURCE_DIR}/tests APPEND PROPERTY OBJECT_DEPENDS
                 ${MORVANDITE_PAYLOAD_BIN} ${PROJECT_SOURCE_DIR}/resources/installer.rc)
  endif()
  if(TARGET installer_e2e_gui_test)
    target_link_libraries(installer_e2e_gui_test PRIVATE installer_core)
    target_include_directories(installer_e2e_gui_test PRIVATE ${PROJECT_SOURCE_DIR}/installer)
    add_dependencies(installer_e2e_gui_test MorvanditeInstall instance_holder)
    morvandite_embed_message_table(installer_e2e_gui_test ${PROJECT_SOURCE_DIR}/tests/windows/installer_e2e_gui_test.rc)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_app_link_tests)

# The headless walk-through as a test: the page in Cyrillic, Greek and
# Japanese and a default installation, in a Wine prefix of its own, leaving
# screenshots in artifacts/run.
function(_installer_app_headless_test)
  if(MORVANDITE_TESTS AND TARGET MorvanditeInstall)
    add_test(NAME wine.installer_headless_run
             COMMAND ${PROJECT_SOURCE_DIR}/tools/run-headless.sh $<TARGET_FILE:MorvanditeInstall>)
    set_tests_properties(wine.installer_headless_run PROPERTIES
      ENVIRONMENT "MORVANDITE_RUN_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-run" TIMEOUT 900
      RESOURCE_LOCK wineprefix_init)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_app_headless_test)

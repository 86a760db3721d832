# The installer itself: the page, its rules and start-up (installer_app), the
# stub with every resource but the client (resources/installer.rc), and
# MorvanditeInstall.exe made from the stub by mkinstaller.
# Included from installer/CMakeLists.txt (Windows builds only).
include_guard(GLOBAL)

# The client's files come from the payload_tree target, which assembles them in
# MORVANDITE_PAYLOAD_DIR (build/windows/payload).
if(WIN32 AND NOT TARGET payload_tree AND EXISTS ${PROJECT_SOURCE_DIR}/resources/payload/CMakeLists.txt)
  add_subdirectory(${PROJECT_SOURCE_DIR}/resources/payload ${CMAKE_BINARY_DIR}/payload-build)
endif()

add_library(installer_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/diskspace_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installlocation_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installwindow_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pagelayout_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unattended_win.cpp)
target_include_directories(installer_app PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_app PUBLIC installer_core installer_engine installer_ui plib)

# The payload packed by the native mkpayload (build/native/bin, built first by
# tools/build.sh), for the page's Wine test, which embeds it itself.
set(MORVANDITE_MKPAYLOAD ${CMAKE_BINARY_DIR}/../native/bin/mkpayload
    CACHE FILEPATH "The native mkpayload tool the Windows build runs to pack payloads")
set(MORVANDITE_PAYLOAD_BIN ${CMAKE_BINARY_DIR}/generated/payload.bin CACHE INTERNAL "The packed sample client")
# mkpayload writes the payload's SHA-256 beside it (resource 132).
add_custom_command(
  OUTPUT ${MORVANDITE_PAYLOAD_BIN} ${MORVANDITE_PAYLOAD_BIN}.sha256
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${MORVANDITE_MKPAYLOAD} ${MORVANDITE_PAYLOAD_DIR} ${MORVANDITE_PAYLOAD_BIN}
  DEPENDS payload_tree ${MORVANDITE_PAYLOAD_DIR}/uninstall.lst ${MORVANDITE_MKPAYLOAD}
  COMMENT "Packing the sample client from ${MORVANDITE_PAYLOAD_DIR}"
  VERBATIM)
add_custom_target(installer_payload DEPENDS ${MORVANDITE_PAYLOAD_BIN})

# The installer stub: the program with every resource but the client
# (resources/installer.rc). mkinstaller turns it into an installer; the
# release team ships installers made from it without building anything.
add_executable(MorvanditeInstallStub WIN32
  ${CMAKE_CURRENT_LIST_DIR}/winmain_win.cpp
  ${PROJECT_SOURCE_DIR}/resources/installer.rc)
target_link_libraries(MorvanditeInstallStub PRIVATE installer_app)
set_target_properties(MorvanditeInstallStub PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
morvandite_shipped_program(MorvanditeInstallStub)
# Small, and mapped rather than copied by the loader (cmake/SizeOptimise.cmake).
include(${PROJECT_SOURCE_DIR}/cmake/SizeOptimise.cmake)
morvandite_size_optimise(MorvanditeInstallStub)
morvandite_mappable_image(MorvanditeInstallStub)
target_include_directories(MorvanditeInstallStub PRIVATE ${PROJECT_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/generated)
morvandite_embed_message_table(MorvanditeInstallStub ${PROJECT_SOURCE_DIR}/resources/installer.rc)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/installer.rc DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
             APPEND PROPERTY OBJECT_DEPENDS
             ${PROJECT_SOURCE_DIR}/resources/config.ini
             ${PROJECT_SOURCE_DIR}/resources/installer.manifest
             ${PROJECT_SOURCE_DIR}/resources/payload/src/version.rci
             ${MORVANDITE_VERSION_HEADER})

# MorvanditeInstall.exe: the stub and a client folder through the native
# mkinstaller, the very path a release takes. MORVANDITE_CLIENT_DIR names the
# client to install; empty means the sample client (resources/payload).
set(MORVANDITE_MKINSTALLER ${CMAKE_BINARY_DIR}/../native/bin/mkinstaller
    CACHE FILEPATH "The native mkinstaller tool the Windows build runs to make the installer")
set(MORVANDITE_CLIENT_DIR "" CACHE PATH
    "Client folder MorvanditeInstall.exe installs (empty: the sample client in resources/payload)")
set(MORVANDITE_INSTALLER ${CMAKE_BINARY_DIR}/bin/MorvanditeInstall.exe CACHE INTERNAL "The finished installer")
if(MORVANDITE_CLIENT_DIR)
  set(_client_dir ${MORVANDITE_CLIENT_DIR})
  file(GLOB_RECURSE _client_files CONFIGURE_DEPENDS ${MORVANDITE_CLIENT_DIR}/*)
else()
  set(_client_dir ${MORVANDITE_PAYLOAD_DIR})
  set(_client_files payload_tree ${MORVANDITE_PAYLOAD_DIR}/uninstall.lst)
endif()
add_custom_command(
  OUTPUT ${MORVANDITE_INSTALLER}
  COMMAND ${MORVANDITE_MKINSTALLER} --stub $<TARGET_FILE:MorvanditeInstallStub>
          --client ${_client_dir} --out ${MORVANDITE_INSTALLER}
  DEPENDS MorvanditeInstallStub ${MORVANDITE_MKINSTALLER} ${_client_files}
  COMMENT "Making MorvanditeInstall.exe from the stub and ${_client_dir}"
  VERBATIM)
add_custom_target(MorvanditeInstall ALL DEPENDS ${MORVANDITE_INSTALLER})

# Drives the installer's window by class and control ids (tools/run-headless.sh).
add_executable(installer_driver ${PROJECT_SOURCE_DIR}/tools/installer-driver/installer_driver.cpp)
set_target_properties(installer_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The Wine tests of the page (in process) and of the finished program; their
# targets are made later, in tests/.
function(_installer_app_link_tests)
  if(TARGET installer_window_gui_test)
    target_link_libraries(installer_window_gui_test PRIVATE installer_app)
    target_include_directories(installer_window_gui_test PRIVATE
      ${PROJECT_SOURCE_DIR}/resources ${PROJECT_SOURCE_DIR}/tests/windows/helpers ${CMAKE_BINARY_DIR}/generated)
    add_dependencies(installer_window_gui_test installer_payload)
    morvandite_embed_message_table(installer_window_gui_test ${PROJECT_SOURCE_DIR}/tests/windows/installer_window_gui_test.rc)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/tests/windows/installer_window_gui_test.rc
                 DIRECTORY ${PROJECT_SOURCE_DIR}/tests APPEND PROPERTY OBJECT_DEPENDS
                 ${MORVANDITE_PAYLOAD_BIN} ${MORVANDITE_PAYLOAD_BIN}.sha256 ${PROJECT_SOURCE_DIR}/resources/installer.rc)
  endif()
  if(TARGET installer_unattended_test)
    add_dependencies(installer_unattended_test MorvanditeInstall instance_holder)
  endif()
  if(TARGET installer_e2e_gui_test)
    target_link_libraries(installer_e2e_gui_test PRIVATE installer_core version)
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
             COMMAND ${PROJECT_SOURCE_DIR}/tools/run-headless.sh ${MORVANDITE_INSTALLER})
    set_tests_properties(wine.installer_headless_run PROPERTIES
      ENVIRONMENT "MORVANDITE_RUN_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-run" TIMEOUT 900
      RESOURCE_LOCK wineprefix_init)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_app_headless_test)

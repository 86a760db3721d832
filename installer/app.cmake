# The installer itself: the page, its rules and start-up (installer_app), the
# stub with every resource but the client (resources/installer.rc), and
# MorvanditeInstall.exe made from the stub by mkinstaller.
# Included from installer/CMakeLists.txt (Windows builds only).

# The client's files come from the payload_tree target, which assembles them in
# MORVANDITE_PAYLOAD_DIR (build/windows/payload).
if(WIN32 AND NOT TARGET payload_tree AND EXISTS ${PROJECT_SOURCE_DIR}/client/CMakeLists.txt)
  add_subdirectory(${PROJECT_SOURCE_DIR}/client ${CMAKE_BINARY_DIR}/payload-build)
endif()

add_library(installer_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/diskspace_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installlocation_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installpage_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installplan_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installreports_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installtexts_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installwindow_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pagelayout_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/selfcheck_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unattended_win.cpp)
target_include_directories(installer_app PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_app PUBLIC installer_core installer_engine installer_ui plib)


# The installer stub: the program with every resource but the client
# (resources/installer.rc). mkinstaller turns it into an installer; the
# release team ships installers made from it without building anything.
add_executable(MorvanditeInstallStub WIN32
  ${CMAKE_CURRENT_LIST_DIR}/winmain_win.cpp
  ${PROJECT_SOURCE_DIR}/resources/installer.rc)
target_link_libraries(MorvanditeInstallStub PRIVATE installer_app)
set_target_properties(MorvanditeInstallStub PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
morvandite_shipped_program(MorvanditeInstallStub)
# Small (cmake/SizeOptimise.cmake). The file alignment stays the linker's
# 0x200: mkinstaller starts the resources, where the payload goes, on a page
# of the file, which is all a loader needs to map the payload rather than read
# it, without padding every section to a page.
include(${PROJECT_SOURCE_DIR}/cmake/SizeOptimise.cmake)
morvandite_size_optimise(MorvanditeInstallStub)
target_include_directories(MorvanditeInstallStub PRIVATE ${PROJECT_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/generated)
morvandite_embed_message_table(MorvanditeInstallStub ${PROJECT_SOURCE_DIR}/resources/installer.rc)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/installer.rc DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
             APPEND PROPERTY OBJECT_DEPENDS
             ${PROJECT_SOURCE_DIR}/resources/config.ini
             ${PROJECT_SOURCE_DIR}/resources/installer.manifest
             ${PROJECT_SOURCE_DIR}/client/common/version.rci
             ${MORVANDITE_VERSION_HEADER})

# MorvanditeInstall.exe: the stub and a client folder through the native
# mkinstaller, the very path a release takes. MORVANDITE_CLIENT_DIR names the
# client to install; empty means the sample client (client/).
set(MORVANDITE_MKINSTALLER ${CMAKE_BINARY_DIR}/../native/bin/mkinstaller
    CACHE FILEPATH "The native mkinstaller tool the Windows build runs to make the installer")
set(MORVANDITE_CLIENT_DIR "" CACHE PATH
    "Client folder MorvanditeInstall.exe installs (empty: the sample client in client/)")
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


# The install engine: the worker thread, registration with Windows and the
# files left for the client.
#   installer_engine_portable: time-stamp texts and the rollback journal, built in both trees.
#   installer_engine:          the Windows worker on top of it.
include_guard(GLOBAL)

add_library(installer_engine_portable STATIC ${CMAKE_CURRENT_LIST_DIR}/timestamps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rollbackjournal.cpp)
target_include_directories(installer_engine_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(installer_engine_portable PUBLIC plib)

if(WIN32)
  add_library(installer_engine STATIC
    ${CMAKE_CURRENT_LIST_DIR}/InstallOptions_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstallerThread_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Registration_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rollback_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UserSettings_win.cpp)
  target_link_libraries(installer_engine PUBLIC installer_engine_portable installer_core protocols plib ole32 shell32 uuid)
endif()

function(_installer_engine_link_tests)
  if(TARGET native_tests)
    target_link_libraries(native_tests PRIVATE installer_engine_portable)
  endif()
  foreach(t IN ITEMS worker_test worker_unicode_test installer_rollback_test)
    if(TARGET ${t})
      target_link_libraries(${t} PRIVATE installer_engine shlwapi)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_engine_link_tests)

# The worker's Wine test embeds a small payload packed by the native mkpayload
# (build/native/bin, built first by tools/build.sh) with its digest, a copy
# whose last 4000 bytes are scrambled (with a digest of its own, so that the
# decoder meets the damage), copies with one bit flipped in the packed
# header, the middle and the last bytes (checked against the good digest)
# and the message table.
if(WIN32 AND MORVANDITE_TESTS)
  set(MORVANDITE_MKPAYLOAD ${CMAKE_BINARY_DIR}/../native/bin/mkpayload
      CACHE FILEPATH "The native mkpayload tool the Windows build runs to pack payloads")
  set(_worker_data ${PROJECT_SOURCE_DIR}/tests/windows/data/worker-payload)
  set(_worker_out ${CMAKE_BINARY_DIR}/generated)
  file(GLOB_RECURSE _worker_files CONFIGURE_DEPENDS ${_worker_data}/*)
  add_custom_command(
    OUTPUT ${_worker_out}/worker_payload.bin ${_worker_out}/worker_payload.bin.sha256
           ${_worker_out}/worker_payload_corrupt.bin ${_worker_out}/worker_payload_corrupt.bin.sha256
           ${_worker_out}/worker_payload_flip_header.bin ${_worker_out}/worker_payload_flip_middle.bin
           ${_worker_out}/worker_payload_flip_end.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_worker_out}
    COMMAND ${MORVANDITE_MKPAYLOAD} ${_worker_data} ${_worker_out}/worker_payload.bin
    COMMAND python3 -c "import sys; b=bytearray(open(sys.argv[1],'rb').read()); n=len(b); [b.__setitem__(i, b[i] ^ 0x5A) for i in range(n - 4000, n - 10)]; open(sys.argv[2],'wb').write(b)" ${_worker_out}/worker_payload.bin ${_worker_out}/worker_payload_corrupt.bin
    COMMAND python3 -c "import sys, hashlib; open(sys.argv[2],'wb').write(hashlib.sha256(open(sys.argv[1],'rb').read()).digest())" ${_worker_out}/worker_payload_corrupt.bin ${_worker_out}/worker_payload_corrupt.bin.sha256
    COMMAND python3 -c "import sys; b=open(sys.argv[1],'rb').read(); n=len(b); [open(p,'wb').write(b[:i] + bytes([b[i] ^ 0x10]) + b[i + 1:]) for p, i in zip(sys.argv[2:], (20, n // 2, n - 3))]" ${_worker_out}/worker_payload.bin ${_worker_out}/worker_payload_flip_header.bin ${_worker_out}/worker_payload_flip_middle.bin ${_worker_out}/worker_payload_flip_end.bin
    DEPENDS ${MORVANDITE_MKPAYLOAD} ${_worker_files}
    COMMENT "Packing the worker test's payload"
    VERBATIM)
  add_custom_target(worker_test_payload DEPENDS ${_worker_out}/worker_payload.bin)

  # The rollback test's payload: 400 files of 64 KiB that do not compress,
  # so that an installation lasts long enough to be cancelled part-way.
  add_custom_command(
    OUTPUT ${_worker_out}/rollback_payload.bin
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${_worker_out}/rollback-payload
    COMMAND python3 -c "import os, random, sys; r = random.Random(16); d = sys.argv[1]; [(os.makedirs(os.path.join(d, 'Data', 'Set%02d' % (i // 50)), exist_ok=True), open(os.path.join(d, 'Data', 'Set%02d' % (i // 50), 'file%03d.bin' % i), 'wb').write(r.randbytes(65536))) for i in range(400)]; open(os.path.join(d, 'readme.txt'), 'w').write('new readme'); open(os.path.join(d, 'user.ini'), 'w').write('[Options]\\nLocale=0\\n')" ${_worker_out}/rollback-payload
    COMMAND ${MORVANDITE_MKPAYLOAD} ${_worker_out}/rollback-payload ${_worker_out}/rollback_payload.bin
    DEPENDS ${MORVANDITE_MKPAYLOAD}
    COMMENT "Packing the rollback test's payload"
    VERBATIM)
  add_custom_target(rollback_test_payload DEPENDS ${_worker_out}/rollback_payload.bin)
endif()

function(_installer_engine_embed_test_data)
  if(TARGET worker_test)
    add_dependencies(worker_test worker_test_payload)
    morvandite_embed_message_table(worker_test ${PROJECT_SOURCE_DIR}/tests/windows/worker_test.rc)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/tests/windows/worker_test.rc DIRECTORY ${PROJECT_SOURCE_DIR}/tests
                 APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/generated/worker_payload.bin)
  endif()
  if(TARGET installer_rollback_test)
    # The full-disk case needs a small drive mapped into the prefix.
    add_test(NAME wine.installer_rollback_disk_full
             COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/rollback-disk-full.sh $<TARGET_FILE:installer_rollback_test>)
    set_tests_properties(wine.installer_rollback_disk_full PROPERTIES
      ENVIRONMENT "MORVANDITE_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
      TIMEOUT 900 RESOURCE_LOCK wineprefix_init SKIP_RETURN_CODE 77)
    add_dependencies(installer_rollback_test worker_test_payload rollback_test_payload)
    morvandite_embed_message_table(installer_rollback_test ${PROJECT_SOURCE_DIR}/tests/windows/installer_rollback_test.rc)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/tests/windows/installer_rollback_test.rc
                 DIRECTORY ${PROJECT_SOURCE_DIR}/tests APPEND PROPERTY OBJECT_DEPENDS
                 ${CMAKE_BINARY_DIR}/generated/worker_payload.bin ${CMAKE_BINARY_DIR}/generated/rollback_payload.bin)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_engine_embed_test_data)

# The Unicode worker test installs accented names with the real uninstaller
# and removes them with it again: its payload is laid out at build time.
function(_installer_engine_unicode_payload)
  if(TARGET worker_unicode_test AND TARGET payload_uninstaller)
    set(_dir ${CMAKE_BINARY_DIR}/generated/worker-unicode-payload)
    set(_bin ${CMAKE_BINARY_DIR}/generated/worker_unicode_payload.bin)
    add_custom_command(
      OUTPUT ${_bin}
      COMMAND ${CMAKE_COMMAND} -DOUT=${_dir} -DUNINSTALLER=$<TARGET_FILE:payload_uninstaller>
              -P ${PROJECT_SOURCE_DIR}/tests/windows/data/unicode-payload.cmake
      COMMAND ${MORVANDITE_MKPAYLOAD} ${_dir} ${_bin}
      DEPENDS payload_uninstaller ${MORVANDITE_MKPAYLOAD} ${PROJECT_SOURCE_DIR}/tests/windows/data/unicode-payload.cmake
      COMMENT "Packing the Unicode worker test's payload"
      VERBATIM)
    add_custom_target(worker_unicode_test_payload DEPENDS ${_bin})
    add_dependencies(worker_unicode_test worker_unicode_test_payload)
    morvandite_embed_message_table(worker_unicode_test ${PROJECT_SOURCE_DIR}/tests/windows/worker_unicode_test.rc)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/tests/windows/worker_unicode_test.rc DIRECTORY ${PROJECT_SOURCE_DIR}/tests
                 APPEND PROPERTY OBJECT_DEPENDS ${_bin})
  endif()
endfunction()
if(WIN32 AND MORVANDITE_TESTS)
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _installer_engine_unicode_payload)
endif()

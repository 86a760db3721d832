# Payloads the Windows tests embed, packed at build time by the native
# mkpayload (build/native/bin, built first by tools/build.sh). Included from
# tests/CMakeLists.txt in the Windows tree.
set(MORVANDITE_MKPAYLOAD ${CMAKE_BINARY_DIR}/../native/bin/mkpayload
    CACHE FILEPATH "The native mkpayload tool the Windows build runs to pack payloads")
set(_worker_data ${PROJECT_SOURCE_DIR}/tests/windows/data/worker-payload)
set(_worker_out ${CMAKE_BINARY_DIR}/generated)

# The sample client as the installer carries it, for the page's test, which
# embeds it itself; mkpayload writes its SHA-256 beside it (resource 132).
set(MORVANDITE_TEST_PAYLOAD_BIN ${_worker_out}/payload.bin)
add_custom_command(
  OUTPUT ${MORVANDITE_TEST_PAYLOAD_BIN} ${MORVANDITE_TEST_PAYLOAD_BIN}.sha256
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_worker_out}
  COMMAND ${MORVANDITE_MKPAYLOAD} ${MORVANDITE_PAYLOAD_DIR} ${MORVANDITE_TEST_PAYLOAD_BIN}
  DEPENDS payload_tree ${MORVANDITE_PAYLOAD_DIR}/uninstall.lst ${MORVANDITE_MKPAYLOAD}
  COMMENT "Packing the sample client from ${MORVANDITE_PAYLOAD_DIR}"
  VERBATIM)
add_custom_target(installer_test_payload DEPENDS ${MORVANDITE_TEST_PAYLOAD_BIN})

# The worker's Wine test embeds a small payload packed by the native mkpayload
# (build/native/bin, built first by tools/build.sh) with its digest, a copy
# whose last 4000 bytes are scrambled (with a digest of its own, so that the
# decoder meets the damage), copies with one bit flipped in the packed
# header, the middle and the last bytes (checked against the good digest).
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

# The Unicode worker test installs accented names with the real uninstaller
# and removes them with it again: its payload is laid out at build time.
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

# The transaction test's two versions of a small client (A, and B over it),
# each packed with its digest.
set(_dir ${CMAKE_BINARY_DIR}/generated/upgrade-payloads)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/generated/upgrade_a.bin ${CMAKE_BINARY_DIR}/generated/upgrade_a.bin.sha256
         ${CMAKE_BINARY_DIR}/generated/upgrade_b.bin ${CMAKE_BINARY_DIR}/generated/upgrade_b.bin.sha256
  COMMAND ${CMAKE_COMMAND} -DOUT=${_dir} -DUNINSTALLER=$<TARGET_FILE:payload_uninstaller>
          -P ${PROJECT_SOURCE_DIR}/tests/windows/data/upgrade-payloads.cmake
  COMMAND ${MORVANDITE_MKPAYLOAD} ${_dir}/A ${CMAKE_BINARY_DIR}/generated/upgrade_a.bin
  COMMAND ${MORVANDITE_MKPAYLOAD} ${_dir}/B ${CMAKE_BINARY_DIR}/generated/upgrade_b.bin
  DEPENDS payload_uninstaller ${MORVANDITE_MKPAYLOAD} ${PROJECT_SOURCE_DIR}/tests/windows/data/upgrade-payloads.cmake
  COMMENT "Packing the transaction test's two client versions"
  VERBATIM)
add_custom_target(upgrade_test_payloads DEPENDS ${CMAKE_BINARY_DIR}/generated/upgrade_b.bin)

# A small installer made from the stub by mkinstaller, as a release is made,
# with a client of two small files: the self-check test flips bits in copies
# of it and runs each, so that it must start and end quickly.
if(TARGET MorvanditeInstallStub)
  set(_selfcheck_client ${PROJECT_SOURCE_DIR}/tests/windows/data/selfcheck-client)
  set(_selfcheck_installer ${_worker_out}/selfcheck/MorvanditeInstall.exe)
  file(GLOB_RECURSE _selfcheck_files CONFIGURE_DEPENDS ${_selfcheck_client}/*)
  add_custom_command(
    OUTPUT ${_selfcheck_installer}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_worker_out}/selfcheck
    COMMAND ${MORVANDITE_MKINSTALLER} --stub $<TARGET_FILE:MorvanditeInstallStub> --client ${_selfcheck_client}
            --out ${_selfcheck_installer}
    DEPENDS MorvanditeInstallStub ${MORVANDITE_MKINSTALLER} ${_selfcheck_files}
    COMMENT "Making the self-check test's small installer"
    VERBATIM)
  add_custom_target(selfcheck_test_installer DEPENDS ${_selfcheck_installer})
endif()

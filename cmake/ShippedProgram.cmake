# How the programs that reach users are built: every Windows object file gets
# the stack protector, and morvandite_shipped_program(TARGET) finishes one
# shipped executable (the installer and the client's four programs):
#   - hardened PE header: ASLR (DYNAMIC_BASE, with its .reloc section kept),
#     DEP (NX_COMPAT), TERMINAL_SERVER_AWARE, and OS/subsystem version 5.01,
#     Windows XP, the oldest system the installer and the client support;
#   - optimised (the build type's -O2) and stripped, with the symbols kept
#     beside it in <program>.exe.debug, tied to it by a .gnu_debuglink, for
#     crash analysis;
#   - startable on Windows XP: plib/sys/pxptickcount_win.c stands in for the one
#     kernel32 import of the thread library that XP lacks.
# Release flags live here only; tests/shipped_binaries.py checks the
# result. Test executables are not finished this way: they keep their symbols.
include_guard(GLOBAL)

if(NOT WIN32)
  return()
endif()

# libssp comes in statically with the -static link (cmake/Dependencies.cmake).
set(MORVANDITE_HARDENING_OPTIONS -fstack-protector-strong)
add_compile_options(${MORVANDITE_HARDENING_OPTIONS})
add_link_options(${MORVANDITE_HARDENING_OPTIONS})

set(MORVANDITE_SHIPPED_LINK_OPTIONS
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware
  -Wl,--major-os-version,5 -Wl,--minor-os-version,1
  -Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,1)

if(CMAKE_BUILD_TYPE MATCHES "^(Debug|)$")
  message(WARNING "A ${CMAKE_BUILD_TYPE} build: the shipped programs are not optimised")
endif()

set(_morvandite_xp_tickcount ${CMAKE_CURRENT_LIST_DIR}/../plib/sys/pxptickcount_win.c)

# objcopy writes the time it runs into the PE header of what it writes (the
# stripped program and its .debug file, whose checksum the debug link holds)
# unless SOURCE_DATE_EPOCH names another. The link stamps nothing
# (--no-insert-timestamp), so 0 keeps the same sources giving the same bytes;
# a release may set SOURCE_DATE_EPOCH (its commit's time) when configuring.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(MORVANDITE_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  set(MORVANDITE_SOURCE_DATE_EPOCH 0)
endif()
set(_morvandite_objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${MORVANDITE_SOURCE_DATE_EPOCH} ${CMAKE_OBJCOPY})

function(morvandite_shipped_program target)
  target_sources(${target} PRIVATE ${_morvandite_xp_tickcount})
  # Symbols for the .debug file whatever the build type.
  target_compile_options(${target} PRIVATE -g)
  target_link_options(${target} PRIVATE ${MORVANDITE_SHIPPED_LINK_OPTIONS})
  set(exe $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${_morvandite_objcopy} --only-keep-debug ${exe} ${exe}.debug
    COMMAND ${_morvandite_objcopy} --strip-all --add-gnu-debuglink=${exe}.debug ${exe}
    COMMENT "Stripping ${target}, symbols kept in its .debug file"
    VERBATIM)
endfunction()

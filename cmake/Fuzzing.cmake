# The fuzz build (-DMORVANDITE_FUZZ=ON, natively with clang): everything is
# compiled with AddressSanitizer and UndefinedBehaviorSanitizer, and the
# libraries with libFuzzer's coverage, so the targets in tests/fuzz see into
# plib, protocols and the installer's parsers. Undefined behaviour aborts
# (-fno-sanitize-recover=all): in recover mode it is printed and never kept
# as a finding.
include_guard(GLOBAL)

if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "MORVANDITE_FUZZ needs a native clang build: CC=clang CXX=clang++")
endif()
set(MORVANDITE_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)
add_compile_options(${MORVANDITE_SANITIZERS} -fsanitize=fuzzer-no-link)
add_link_options(${MORVANDITE_SANITIZERS})

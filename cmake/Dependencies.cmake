# liblzma, zlib and libjpeg (API 62). Natively from Debian's -dev packages; for
# Windows from libz-mingw-w64-dev and the static libraries that
# tools/setup-machine.sh cross-builds into its cache.
if(WIN32)
  # The shipped programs must run on a bare Windows: link static archives only.
  # CMake's Windows platform files list .dll.a (import libraries) first, which
  # made zlib resolve to libz.dll.a and the installer need zlib1.dll; this
  # must be set here, after project(), as the platform files override the
  # toolchain file's setting.
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
  # Build trees configured before kept the import library in their cache.
  if(ZLIB_LIBRARY_RELEASE MATCHES "\\.dll\\.a$")
    unset(ZLIB_LIBRARY_RELEASE CACHE)
  endif()
endif()
find_package(LibLZMA REQUIRED)
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(Threads REQUIRED)

if(WIN32)
  foreach(_lib IN LISTS LIBLZMA_LIBRARIES ZLIB_LIBRARIES JPEG_LIBRARIES)
    if(_lib MATCHES "\\.dll\\.a$")
      message(FATAL_ERROR "${_lib} is an import library: the Windows build links static libraries only")
    endif()
  endforeach()
  # The cross-built liblzma is static: its headers must not ask for dllimport.
  set_property(TARGET LibLZMA::LibLZMA APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # The installer's libraries also carry link-time-optimisation code
  # (cmake/SizeOptimise.cmake), which only the installer links with. In an
  # ordinary link mingw's linker plugin takes their COMDAT symbols for second
  # definitions: other programs link the machine code, without the plugin.
  add_link_options(-fno-use-linker-plugin)
  add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 __USE_MINGW_ANSI_STDIO=0)
endif()

# ---- Reproducible output ----------------------------------------------------
# Two builds of one commit give the same bytes wherever the tree lies: the
# linker writes no time stamp into PE headers, and the source and build paths
# that the compilers write into debug information and __FILE__ are mapped to
# fixed names (the build folder, inside the source tree, is mapped last so
# that its more specific mapping wins). Nothing in the build writes a date;
# windres leaves the resource time stamps at 0.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/morvandite>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=/morvandite-build>")
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

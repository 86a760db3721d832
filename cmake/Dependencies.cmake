# liblzma, zlib and libjpeg (API 62). Natively from Debian's -dev packages; for
# Windows from libz-mingw-w64-dev and the static libraries that
# tools/setup-machine.sh cross-builds into its cache.
find_package(LibLZMA REQUIRED)
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(Threads REQUIRED)

if(WIN32)
  # The cross-built liblzma is static: its headers must not ask for dllimport.
  set_property(TARGET LibLZMA::LibLZMA APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 __USE_MINGW_ANSI_STDIO=0)
endif()

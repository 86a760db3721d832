# Lays out the Unicode worker test's payload folder: accented names (all of
# them code page 1252 characters, which is what the archive stores), the
# client's uninstaller and the uninstall.lst it works from (UTF-8, CR LF).
#   cmake -DOUT=<folder> -DUNINSTALLER=<MorvanditeUninstall.exe> -P unicode-payload.cmake
foreach(_var OUT UNINSTALLER)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "unicode-payload.cmake: ${_var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/Données/Thèmes")
file(WRITE "${OUT}/Données/Café Über.txt" "café au lait\n")
file(WRITE "${OUT}/Données/Thèmes/thèmes ÀÉÎÕÜ.ini" "[themes]\nnom=Crème brûlée\n")
file(WRITE "${OUT}/€uro Ñ ½ ™ œ.dat" "prix: 12 €\n")
file(WRITE "${OUT}/readme.txt" "plain ASCII\n")
# Stand-ins for the shortcuts' targets: a link to an existing file keeps its item list.
file(WRITE "${OUT}/MorvanditeUpdate.exe" "launcher stand-in\n")
file(WRITE "${OUT}/Tracer.exe" "tracer stand-in\n")
file(COPY "${UNINSTALLER}" DESTINATION "${OUT}")
get_filename_component(_uninstaller "${UNINSTALLER}" NAME)
set(_list "Données\\Café Über.txt\r\nDonnées\\Thèmes\\thèmes ÀÉÎÕÜ.ini\r\n€uro Ñ ½ ™ œ.dat\r\n${_uninstaller}\r\nMorvanditeUpdate.exe\r\nreadme.txt\r\nTracer.exe\r\nuninstall.lst\r\n")
file(WRITE "${OUT}/uninstall.lst" "${_list}")

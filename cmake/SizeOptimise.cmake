# The installer as small as its work needs. Kept apart from the flags every
# shipped executable gets (cmake/Dependencies.cmake); applied to the installer
# in installer/app/CMakeLists.txt.
#
# morvandite_size_optimise(target): compiles target and every static library
# of this project it links (directly or through other libraries) for size,
# each function and datum in a section of its own, and links target with
# unused sections dropped. On i686 mingw the unwind tables (.eh_frame, DWARF-2
# exceptions) keep every function that has one, so most of the saving comes
# from not linking what is not called; the sections let the linker drop the
# rest. The libraries' other users (the tools, the tests) get the same code.
#
# The payload's own section is made mappable by mkinstaller, not here: Wine
# reads a section whose file offset is not page-aligned into private memory
# whole at start-up, so mkinstaller starts the resources on a page of the
# file (PeImage::WithPageAlignedResources).
include_guard(GLOBAL)

function(_morvandite_project_static_libraries target out)
  set(found)
  set(seen)
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(libs ${current} ${property})
      if(NOT libs)
        continue()
      endif()
      foreach(lib IN LISTS libs)
        if(TARGET ${lib} AND NOT lib IN_LIST seen)
          list(APPEND seen ${lib})
          get_target_property(type ${lib} TYPE)
          get_target_property(imported ${lib} IMPORTED)
          if(imported)
            continue()
          endif()
          # Interface targets (plib, which gathers its layers) are walked
          # through; only static libraries are compiled.
          if(type STREQUAL "STATIC_LIBRARY")
            list(APPEND found ${lib})
            list(APPEND queue ${lib})
          elseif(type STREQUAL "INTERFACE_LIBRARY")
            list(APPEND queue ${lib})
          endif()
        endif()
      endforeach()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(morvandite_size_optimise target)
  if(NOT MINGW)
    return()
  endif()
  _morvandite_project_static_libraries(${target} libraries)
  foreach(t IN LISTS libraries ITEMS ${target})
    target_compile_options(${t} PRIVATE -Os -ffunction-sections -fdata-sections -flto -ffat-lto-objects)
  endforeach()
  target_link_options(${target} PRIVATE -Os -flto -fuse-linker-plugin -flto-partition=none -Wl,--gc-sections)
  # The link compiles the program once more (link-time optimisation) and writes
  # its debug information then, with the folder it runs in: the same path
  # mapping as the compiles (cmake/Dependencies.cmake), or the debug file, and
  # with it the program's debug link, would differ from one build path to
  # another.
  target_link_options(${target} PRIVATE -ffile-prefix-map=${PROJECT_SOURCE_DIR}=/morvandite
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}=/morvandite-build)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/installer/app/stringinstances.cpp
                                   ${PROJECT_SOURCE_DIR}/installer/app/cowstringinstance.cpp)
endfunction()

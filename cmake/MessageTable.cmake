# The generated message table, resource 205 of type MV.
#
# Output: MORVANDITE_MESSAGES_BIN = <build tree>/generated/messages.bin, made by
# the target messages_bin from protocols/locales/*.txt.
#
# The native build runs its own msgtable. The Windows build runs the native
# tool named by the cache variable MORVANDITE_MSGTABLE (default
# <build tree>/../native/bin/msgtable, i.e. build/native/bin/msgtable as
# tools/build.sh lays the trees out); build the native tree first.
#
# A resource script embeds the table with the line
#     205 MV "messages.bin"
# after morvandite_embed_message_table(<target> <script>) has put the generated
# folder on its include path and made the script depend on the table.
file(GLOB MORVANDITE_LOCALE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/protocols/locales/*.txt)
set(MORVANDITE_MESSAGES_DIR ${CMAKE_BINARY_DIR}/generated)
set(MORVANDITE_MESSAGES_BIN ${MORVANDITE_MESSAGES_DIR}/messages.bin)
set(MORVANDITE_MESSAGES_DIR ${MORVANDITE_MESSAGES_DIR} CACHE INTERNAL "")
set(MORVANDITE_MESSAGES_BIN ${MORVANDITE_MESSAGES_BIN} CACHE INTERNAL "")

if(WIN32)
  set(MORVANDITE_MSGTABLE ${CMAKE_BINARY_DIR}/../native/bin/msgtable
      CACHE FILEPATH "The native msgtable tool the Windows build runs to generate the message table")
  set(_msgtable_command ${MORVANDITE_MSGTABLE})
  set(_msgtable_depends ${MORVANDITE_MSGTABLE})
else()
  set(_msgtable_command $<TARGET_FILE:msgtable>)
  set(_msgtable_depends msgtable)
endif()

add_custom_command(
  OUTPUT ${MORVANDITE_MESSAGES_BIN}
  COMMAND ${_msgtable_command} resource ${PROJECT_SOURCE_DIR}/protocols/locales ${MORVANDITE_MESSAGES_BIN}
  DEPENDS ${_msgtable_depends} ${MORVANDITE_LOCALE_SOURCES}
  COMMENT "Generating the message table messages.bin"
  VERBATIM)
add_custom_target(messages_bin ALL DEPENDS ${MORVANDITE_MESSAGES_BIN})

# Makes target's resource script able to embed messages.bin and rebuilt when it changes.
function(morvandite_embed_message_table target script)
  add_dependencies(${target} messages_bin)
  target_include_directories(${target} PRIVATE ${MORVANDITE_MESSAGES_DIR})
  get_target_property(_dir ${target} SOURCE_DIR)
  set_property(SOURCE ${script} DIRECTORY ${_dir} APPEND PROPERTY OBJECT_DEPENDS ${MORVANDITE_MESSAGES_BIN})
endfunction()

# The version information every shipped program carries, kept here and nowhere
# else. Writes MORVANDITE_VERSION_HEADER (morvandite_version.h in the build's
# generated/ folder), which the resource scripts include for their
# VERSIONINFO blocks; client/common/version.rci turns the values into
# that block.
include_guard(GLOBAL)

set(MORVANDITE_VERSION_MAJOR 1)
set(MORVANDITE_VERSION_MINOR 0)
set(MORVANDITE_VERSION_PATCH 0)
set(MORVANDITE_VERSION_BUILD 0)
set(MORVANDITE_COMPANY_NAME "Morvandite")
set(MORVANDITE_PRODUCT_NAME "Morvandite")
set(MORVANDITE_COPYRIGHT "Copyright (C) Morvandite")

set(MORVANDITE_VERSION
    "${MORVANDITE_VERSION_MAJOR}.${MORVANDITE_VERSION_MINOR}.${MORVANDITE_VERSION_PATCH}.${MORVANDITE_VERSION_BUILD}")
set(MORVANDITE_VERSION_HEADER ${CMAKE_BINARY_DIR}/generated/morvandite_version.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/morvandite_version.h.in ${MORVANDITE_VERSION_HEADER} @ONLY)

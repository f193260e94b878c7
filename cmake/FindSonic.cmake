# Finds the Sonic speech speed and pitch library (Debian: libsonic-dev), which
# ships neither a CMake package nor a pkg-config file.
#   Sonic_FOUND, Sonic::Sonic
find_path(Sonic_INCLUDE_DIR sonic.h)
find_library(Sonic_LIBRARY sonic)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Sonic REQUIRED_VARS Sonic_LIBRARY Sonic_INCLUDE_DIR)

if(Sonic_FOUND AND NOT TARGET Sonic::Sonic)
  add_library(Sonic::Sonic UNKNOWN IMPORTED)
  set_target_properties(Sonic::Sonic PROPERTIES
    IMPORTED_LOCATION "${Sonic_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Sonic_INCLUDE_DIR}")
endif()
mark_as_advanced(Sonic_INCLUDE_DIR Sonic_LIBRARY)

# Finds edflib, the EDF/EDF+ library (Debian's libedf-dev ships no CMake package). The static
# archive is preferred so that programs do not depend on the shared library at run time.
# Defines EdfLib_FOUND, EdfLib_INCLUDE_DIR, EdfLib_LIBRARY and the imported target EdfLib::EdfLib.

find_path(EdfLib_INCLUDE_DIR NAMES edflib.h PATHS /usr/include /usr/local/include)
find_library(EdfLib_LIBRARY NAMES libedf.a edf PATHS /usr/lib /usr/local/lib)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(EdfLib REQUIRED_VARS EdfLib_LIBRARY EdfLib_INCLUDE_DIR)

if(EdfLib_FOUND AND NOT TARGET EdfLib::EdfLib)
  add_library(EdfLib::EdfLib UNKNOWN IMPORTED)
  set_target_properties(EdfLib::EdfLib PROPERTIES
    IMPORTED_LOCATION "${EdfLib_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${EdfLib_INCLUDE_DIR}")
endif()

mark_as_advanced(EdfLib_INCLUDE_DIR EdfLib_LIBRARY)

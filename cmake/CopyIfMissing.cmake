# cmake -DSRC=<file> -DDST=<file> -P CopyIfMissing.cmake
# Copies a sample file into place unless the operator already has one there.
if(NOT EXISTS "${DST}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E copy "${SRC}" "${DST}")
endif()

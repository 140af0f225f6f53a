# pac_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABEL unit|integration]
#              [TIMEOUT <seconds>] [NETNS])
#
# Builds one Qt Test executable and registers it with CTest. Every test runs
# with the offscreen platform plugin. NETNS wraps the run in scripts/netns-run,
# which gives the test a private network namespace with only a loopback
# interface, so card discovery and simulated cards never reach a real network.
function(pac_add_test name)
  cmake_parse_arguments(T "NETNS" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  target_compile_definitions(${name} PRIVATE PAC_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
                                             PAC_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(T_NETNS)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/netns-run $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES
    LABELS ${T_LABEL}
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

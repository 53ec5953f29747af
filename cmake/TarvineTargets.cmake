# Warnings are errors in our own code; third-party code is built without this.
function(tarvine_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A console (wmain) or GUI (wWinMain) program of ours.
function(tarvine_program target subsystem)
  add_executable(${target} ${ARGN})
  tarvine_warnings(${target})
  target_link_options(${target} PRIVATE -municode -m${subsystem})
endfunction()

# A GoogleTest program whose cases become CTest tests, run under Wine.
# Cases are listed when CTest runs (the prefix exists by then, not at build time).
function(tarvine_gtest target)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  tarvine_warnings(${target})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_link_options(${target} PRIVATE -mconsole)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${T_PROPERTIES})
endfunction()

# GoogleTest built with the cross compiler, and the Wine fixture every test
# executable runs inside.
enable_testing()

set(BKF_XVFB_DISPLAY 91 CACHE STRING "Xvfb display number the tests use")
set(BKF_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(BKF_RUN_DIR ${CMAKE_BINARY_DIR}/wine-run)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()

set(BKF_TEST_ENVIRONMENT
  "WINEPREFIX=${BKF_WINEPREFIX}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree=\\;mshtml="
  "DISPLAY=:${BKF_XVFB_DISPLAY}"
  "BKF_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "BKF_BINARY_DIR=${CMAKE_BINARY_DIR}"
  "BKF_BIN_DIR=${CMAKE_BINARY_DIR}/bin")

# One Xvfb and one persistent wineserver for the whole run, stopped at the end
# even when a test failed.
add_test(NAME wine_environment_start
  COMMAND ${CMAKE_SOURCE_DIR}/tools/wine_env/start.sh ${BKF_RUN_DIR})
add_test(NAME wine_environment_stop
  COMMAND ${CMAKE_SOURCE_DIR}/tools/wine_env/stop.sh ${BKF_RUN_DIR})
set_tests_properties(wine_environment_start PROPERTIES
  FIXTURES_SETUP wine ENVIRONMENT "${BKF_TEST_ENVIRONMENT}" TIMEOUT 600)
set_tests_properties(wine_environment_stop PROPERTIES
  FIXTURES_CLEANUP wine ENVIRONMENT "${BKF_TEST_ENVIRONMENT}" TIMEOUT 60)

# Tests that run inside the Wine fixture (an .exe under Wine, or a host script
# that drives one).
function(bkf_wine_test_properties name)
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine
    ENVIRONMENT "${BKF_TEST_ENVIRONMENT}"
    TIMEOUT 600)
endfunction()

# bkf_add_test(<name> SOURCES <files...> LIBS <targets...>)
# Builds one GoogleTest executable and runs it under Wine as one ctest test.
function(bkf_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gmock gtest_main bkf_common)
  # tests/ is an include root too: "common/RecordingTarget.h" and friends.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  bkf_wine_test_properties(${name})
  # A process that dies under Wine may still exit with 0: only GoogleTest's own
  # closing line counts as a pass.
  set_tests_properties(${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests?\\."
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endfunction()

# qelta_add_test(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS l] [NETWORK])
#
# Builds one GoogleTest program and registers each of its tests with CTest (labelled with the
# program's name too, so that a run can pick the tests of the programs it built), listed at test time
# (never at build time, so nothing of the program runs outside the private network namespace).
# NETWORK: every test runs in a private network namespace of its own, so that tests running in
# parallel never hear each other's datagrams.
include(GoogleTest)

function(qelta_add_test name)
  cmake_parse_arguments(T "NETWORK" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_NETWORK)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/netns")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS};${name}")
endfunction()

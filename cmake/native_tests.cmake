# Unit tests of the launcher's logic, run natively on the test double.
if(NOT TARGET GTest::gtest)  # MSVC builds fetch it (cmake/msvc_tests.cmake)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_executable(unit_tests
  tests/unit/fake_platform.cpp
  tests/unit/caller_header_test.cpp
  tests/unit/capture_region_test.cpp
  tests/unit/encoder_command_test.cpp
  tests/unit/invocation_test.cpp
  tests/unit/launcher_entry_test.cpp
  tests/unit/program_name_skip_test.cpp
  tests/unit/recording_start_test.cpp
)
target_link_libraries(unit_tests PRIVATE zeltra_launcher_logic GTest::gtest GTest::gtest_main)
# The caller header keeps its own version literal; this holds it to the project's.
target_compile_definitions(unit_tests PRIVATE ZELTRA_PROJECT_VERSION="${PROJECT_VERSION}")
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST)

# Unit tests of the machine check's logic.
add_executable(check_tests tests/check/check_logic_test.cpp)
target_link_libraries(check_tests PRIVATE zeltra_check_logic GTest::gtest GTest::gtest_main)
gtest_discover_tests(check_tests DISCOVERY_MODE PRE_TEST)

# Property fuzzing with libFuzzer (clang): each target runs a set number of
# inputs as a test, the same on a fast machine and a slow one; seeds in
# tests/fuzz/seeds, what it finds in the build's corpus.
if(ZELTRA_FUZZ)
  set(ZELTRA_FUZZ_RUNS 1000000 CACHE STRING "How many inputs each fuzz target runs as a test")
  foreach(target invocation region caller)
    add_executable(${target}_fuzz tests/fuzz/${target}_fuzz.cpp)
    target_link_libraries(${target}_fuzz PRIVATE zeltra_launcher_logic)
    target_link_options(${target}_fuzz PRIVATE -fsanitize=fuzzer)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus/${target})
    add_test(NAME fuzz_${target}
      COMMAND ${target}_fuzz -runs=${ZELTRA_FUZZ_RUNS} -print_final_stats=1
              ${CMAKE_CURRENT_BINARY_DIR}/corpus/${target} ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/seeds/${target})
  endforeach()
endif()

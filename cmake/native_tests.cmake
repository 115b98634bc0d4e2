# Unit tests of the launcher's logic, run natively on the test double.
if(NOT TARGET GTest::gtest)  # MSVC builds fetch it (cmake/msvc_tests.cmake)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_executable(unit_tests
  tests/unit/desktop.cpp
  tests/unit/caller_header_test.cpp
  tests/unit/caller_output_test.cpp
  tests/unit/interpreter_test.cpp
  tests/unit/pending_lines_test.cpp
  tests/unit/launcher_test.cpp
  tests/unit/region_test.cpp
  tests/unit/stop_test.cpp
  tests/unit/text_test.cpp
)
target_link_libraries(unit_tests PRIVATE zeltra_launcher_logic zeltra_platform_pure GTest::gtest
  GTest::gtest_main)
target_compile_definitions(unit_tests PRIVATE ZELTRA_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/fixtures"
  ZELTRA_CALLER_VECTORS="${CMAKE_CURRENT_SOURCE_DIR}/tests/caller/caller_vectors.tsv")
# The slowest case takes about half a second natively, a few seconds under the
# sanitizers: a case still running after this hangs, and fails here rather
# than at CI's limit.
set(ZELTRA_UNIT_TEST_TIMEOUT 10)
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT ${ZELTRA_UNIT_TEST_TIMEOUT})

# Unit tests of the machine check's logic.
add_executable(check_tests tests/check/check_logic_test.cpp tests/check/frame_edges_test.cpp)
target_link_libraries(check_tests PRIVATE zeltra_check_logic GTest::gtest GTest::gtest_main)
gtest_discover_tests(check_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES TIMEOUT ${ZELTRA_UNIT_TEST_TIMEOUT})

# Property fuzzing with libFuzzer (clang): each target runs a set number of
# inputs as a test, the same on a fast machine and a slow one; seeds in
# tests/fuzz/seeds, what it finds in the build's corpus.
if(ZELTRA_FUZZ)
  set(ZELTRA_FUZZ_RUNS 1000000 CACHE STRING "How many inputs each fuzz target runs as a test")
  # The slowest target took 117 s a million inputs on a loaded 2-core machine.
  set(ZELTRA_FUZZ_TIMEOUT_PER_MILLION 240 CACHE STRING
    "Seconds a fuzz target may take for a million inputs before its test fails")
  foreach(target invocation region caller judge)
    add_executable(${target}_fuzz tests/fuzz/${target}_fuzz.cpp)
    target_link_libraries(${target}_fuzz PRIVATE zeltra_launcher_logic zeltra_platform_pure)
    target_link_options(${target}_fuzz PRIVATE -fsanitize=fuzzer)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus/${target})
    add_test(NAME fuzz_${target}
      COMMAND ${target}_fuzz -runs=${ZELTRA_FUZZ_RUNS} -print_final_stats=1
              ${CMAKE_CURRENT_BINARY_DIR}/corpus/${target} ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/seeds/${target})
    # Scaled with the input count: ZELTRA_FUZZ_TIMEOUT_PER_MILLION seconds a million inputs.
    math(EXPR fuzz_timeout "${ZELTRA_FUZZ_RUNS} * ${ZELTRA_FUZZ_TIMEOUT_PER_MILLION} / 1000000 + 60")
    set_tests_properties(fuzz_${target} PROPERTIES TIMEOUT ${fuzz_timeout})
  endforeach()
endif()

# Unit tests of the launcher's logic, run natively on the test double.
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(unit_tests
  tests/unit/fake_platform.cpp
  tests/unit/capture_region_test.cpp
  tests/unit/encoder_command_test.cpp
  tests/unit/fake_platform_test.cpp
  tests/unit/invocation_test.cpp
  tests/unit/launcher_entry_test.cpp
  tests/unit/recording_start_test.cpp
)
target_link_libraries(unit_tests PRIVATE launcher_logic GTest::gtest GTest::gtest_main)
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST)

# MSVC only: the unit tests built natively on Windows, with GoogleTest fetched
# at configure time (Linux configures take Debian's and stay offline), and
# the caller header compiled as callers compile it: C++17 and C++20, with and
# without UNICODE, at /W4 /WX /permissive-.
include(FetchContent)
FetchContent_Declare(googletest
  GIT_REPOSITORY https://github.com/google/googletest.git
  GIT_TAG f8d7d77c06936315286eb55f8de22cd23c188571)  # v1.14.0
# The static CRT of the whole build (CMAKE_MSVC_RUNTIME_LIBRARY), not GoogleTest's own choice.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
FetchContent_MakeAvailable(googletest)
include(${CMAKE_CURRENT_LIST_DIR}/native_tests.cmake)

foreach(standard 17 20)
  foreach(characters narrow unicode)
    set(variant caller_header_cxx${standard}_${characters})
    add_library(${variant} OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/caller/record_window.cpp)
    set_target_properties(${variant} PROPERTIES CXX_STANDARD ${standard} CXX_STANDARD_REQUIRED ON)
    target_compile_options(${variant} PRIVATE /W4 /WX /permissive-)
    if(characters STREQUAL unicode)
      target_compile_definitions(${variant} PRIVATE UNICODE _UNICODE)
    endif()
  endforeach()
endforeach()

# What an integrator gets of this build, the same from the release ZIP and
# from `cmake --install`: one folder holding the two programs, the caller
# header, the C# and Python clients under examples/, the guide, the
# changelog, the license and notices, and cmake/, the CMake package. The list
# below is everything that goes in: the name inside the folder, then the file
# it is taken from.
set(ZELTRA_RELEASE_FILES
  ZELTRA_ScreenTool.exe=$<TARGET_FILE:ZELTRA_ScreenTool>
  ZELTRA_ScreenTool_check.exe=$<TARGET_FILE:ZELTRA_ScreenTool_check>
  zeltra_screentool.h=${CMAKE_CURRENT_SOURCE_DIR}/caller/zeltra_screentool.h
  examples/csharp/ZeltraRecording.cs=${CMAKE_CURRENT_SOURCE_DIR}/examples/csharp/ZeltraRecording.cs
  examples/python/zeltra_recording.py=${CMAKE_CURRENT_SOURCE_DIR}/examples/python/zeltra_recording.py
  INTEGRATION.md=${CMAKE_CURRENT_SOURCE_DIR}/docs/integration.md
  CHANGELOG.md=${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md
  LICENSE=${CMAKE_CURRENT_SOURCE_DIR}/LICENSE
  THIRD-PARTY-NOTICES.txt=${CMAKE_CURRENT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
  cmake/ZELTRA_ScreenToolConfig.cmake=${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfig.cmake
  cmake/ZELTRA_ScreenToolConfigVersion.cmake=${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfigVersion.cmake
  cmake/zeltra_screentool_functions.cmake=${CMAKE_CURRENT_SOURCE_DIR}/cmake/package/zeltra_screentool_functions.cmake
)

# The CMake package. Any release of one major version takes the place of any
# other of it (only a new major version breaks a caller), and the
# architecture goes unchecked: the launcher is a program of its own, which a
# caller of either bitness starts.
include(CMakePackageConfigHelpers)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/package/ZELTRA_ScreenToolConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)

# The caller header states the version it goes with, as a string and as
# numbers for #if; it ships beside these executables, so it must state theirs.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/caller/zeltra_screentool.h zeltra_header)
string(REGEX MATCH "kCallerVersion\\[\\] = \"([^\"]*)\"" zeltra_found "${zeltra_header}")
set(zeltra_stated "${CMAKE_MATCH_1}")
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "#define ZELTRA_SCREENTOOL_VERSION_${part} ([0-9]+)" zeltra_found "${zeltra_header}")
  list(APPEND zeltra_stated "${CMAKE_MATCH_1}")
endforeach()
set(zeltra_expected ${PROJECT_VERSION} ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR}
                    ${PROJECT_VERSION_PATCH})
if(NOT zeltra_stated STREQUAL zeltra_expected)
  message(FATAL_ERROR "caller/zeltra_screentool.h states its version as \"${zeltra_stated}\" "
                      "(kCallerVersion, then ZELTRA_SCREENTOOL_VERSION_MAJOR, _MINOR, _PATCH); "
                      "the project version is ${PROJECT_VERSION}")
endif()

# cmake --install: the same folder at the install prefix.
foreach(entry IN LISTS ZELTRA_RELEASE_FILES)
  string(REGEX REPLACE "=.*" "" name "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" file "${entry}")
  get_filename_component(folder "${name}" DIRECTORY)
  get_filename_component(base "${name}" NAME)
  if(folder STREQUAL "")
    set(folder .)
  endif()
  if(name MATCHES "\\.exe$")
    install(PROGRAMS "${file}" DESTINATION ${folder} RENAME ${base})
  else()
    install(FILES "${file}" DESTINATION ${folder} RENAME ${base})
  endif()
endforeach()

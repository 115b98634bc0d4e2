# The release ZIP of this build: one folder, ZELTRA_ScreenTool-<version>-win32
# (the 32-bit product) or -win64, holding what an integrator needs and nothing
# else. The list below is everything that goes in: the name inside the folder,
# then the file it is taken from. `cmake --build <tree> --target release_zip`
# writes it to <tree>/release/; scripts/release.sh makes the whole release.
set(ZELTRA_RELEASE_FILES
  ZELTRA_ScreenTool.exe=$<TARGET_FILE:ZELTRA_ScreenTool>
  ZELTRA_ScreenTool_check.exe=$<TARGET_FILE:ZELTRA_ScreenTool_check>
  zeltra_screentool.h=${CMAKE_CURRENT_SOURCE_DIR}/caller/zeltra_screentool.h
  INTEGRATION.md=${CMAKE_CURRENT_SOURCE_DIR}/docs/integration.md
  CHANGELOG.md=${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md
  LICENSE=${CMAKE_CURRENT_SOURCE_DIR}/LICENSE
  THIRD-PARTY-NOTICES.txt=${CMAKE_CURRENT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
  cmake/ZELTRA_ScreenToolConfig.cmake=${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfig.cmake
  cmake/ZELTRA_ScreenToolConfigVersion.cmake=${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfigVersion.cmake
  cmake/zeltra_screentool_functions.cmake=${CMAKE_CURRENT_SOURCE_DIR}/cmake/package/zeltra_screentool_functions.cmake
)

# The ZIP's CMake package. Any 1.x takes the place of any other, and the
# architecture goes unchecked: the launcher is a program of its own, which a
# caller of either bitness starts.
include(CMakePackageConfigHelpers)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/package/ZELTRA_ScreenToolConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/package/ZELTRA_ScreenToolConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)

# The caller header states the version it goes with; it ships beside these
# executables, so it must state theirs.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/caller/zeltra_screentool.h ZELTRA_CALLER_VERSION
  REGEX "kCallerVersion\\[\\] = \"[^\"]*\"")
string(REGEX REPLACE ".*\"([^\"]*)\".*" "\\1" ZELTRA_CALLER_VERSION "${ZELTRA_CALLER_VERSION}")
if(NOT ZELTRA_CALLER_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "caller/zeltra_screentool.h says kCallerVersion \"${ZELTRA_CALLER_VERSION}\"; "
                      "the project version is ${PROJECT_VERSION}")
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZELTRA_RELEASE_NAME ZELTRA_ScreenTool-${PROJECT_VERSION}-win64)
else()
  set(ZELTRA_RELEASE_NAME ZELTRA_ScreenTool-${PROJECT_VERSION}-win32)
endif()

find_package(Python3 REQUIRED COMPONENTS Interpreter)
# The executables named through $<TARGET_FILE:...> are built first.
add_custom_target(release_zip
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/release_zip.py
          --output ${CMAKE_CURRENT_BINARY_DIR}/release/${ZELTRA_RELEASE_NAME}.zip
          --folder ${ZELTRA_RELEASE_NAME} --epoch=${ZELTRA_SOURCE_DATE_EPOCH} ${ZELTRA_RELEASE_FILES}
  COMMENT "Packing ${ZELTRA_RELEASE_NAME}.zip"
  VERBATIM)

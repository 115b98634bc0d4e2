# The launcher executable, the Wine bench's Windows helpers and the tests run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/source_date_epoch.cmake)

set(ZELTRA_WINDOWS_DEFINITIONS NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
if(MSVC)
  # The bench's helpers use getenv and fopen, which MSVC flags as deprecated under /WX.
  list(APPEND ZELTRA_WINDOWS_DEFINITIONS _CRT_SECURE_NO_WARNINGS)
endif()
target_compile_definitions(zeltra_launcher_logic PRIVATE ${ZELTRA_WINDOWS_DEFINITIONS})
target_compile_definitions(zeltra_platform_pure PRIVATE ${ZELTRA_WINDOWS_DEFINITIONS})

# The runtime goes into the executable, so a bare Windows needs nothing beside it.
function(zeltra_link_runtime_statically target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

configure_file(platform/version.h.in ${CMAKE_CURRENT_BINARY_DIR}/generated/version.h)
# The manifest's identity names the build's architecture: Windows' side-by-side
# loader may refuse an executable whose manifest names another.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZELTRA_MANIFEST_ARCHITECTURE amd64)
  set(ZELTRA_ENCODER_ARCHITECTURE amd64)
  set(ZELTRA_PE_FORMAT PE32+)
else()
  set(ZELTRA_MANIFEST_ARCHITECTURE x86)
  set(ZELTRA_ENCODER_ARCHITECTURE i386)
  set(ZELTRA_PE_FORMAT PE32)
endif()
configure_file(platform/ZELTRA_ScreenTool.manifest.in
  ${CMAKE_CURRENT_BINARY_DIR}/generated/ZELTRA_ScreenTool.manifest @ONLY)
# The resource file names the manifest in a resource statement, not an
# #include, so no dependency scan sees it: a changed manifest must still
# rebuild the resources.
set_source_files_properties(platform/resources.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/generated/ZELTRA_ScreenTool.manifest)

add_executable(ZELTRA_ScreenTool WIN32
  platform/win_main.cpp
  platform/win32_platform.cpp
  platform/resources.rc
)
target_compile_definitions(ZELTRA_ScreenTool PRIVATE ${ZELTRA_WINDOWS_DEFINITIONS})
target_link_libraries(ZELTRA_ScreenTool PRIVATE zeltra_launcher_logic zeltra_platform_pure ole32 shell32
  user32)
# The resource compiler finds version.h and the manifest on the include path.
target_include_directories(ZELTRA_ScreenTool PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
zeltra_link_runtime_statically(ZELTRA_ScreenTool)
if(MSVC)
  # The manifest comes from the resource file; the linker must not add a second.
  target_link_options(ZELTRA_ScreenTool PRIVATE /MANIFEST:NO)
endif()

# The machine check shipped beside the launcher: a console program.
configure_file(check/ZELTRA_ScreenTool_check.manifest.in
  ${CMAKE_CURRENT_BINARY_DIR}/generated/ZELTRA_ScreenTool_check.manifest @ONLY)
set_source_files_properties(check/resources.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/generated/ZELTRA_ScreenTool_check.manifest)
add_executable(ZELTRA_ScreenTool_check
  check/check_main.cpp
  check/child_process.cpp
  check/console_printer.cpp
  check/debug_output_reader.cpp
  check/framed_window_step.cpp
  check/interruption.cpp
  check/judge_command.cpp
  check/launcher_run.cpp
  check/machine_facts.cpp
  check/machine_steps.cpp
  check/output_place.cpp
  check/picture_painter.cpp
  check/recording_steps.cpp
  check/test_window.cpp
  check/resources.rc
)
target_compile_definitions(ZELTRA_ScreenTool_check PRIVATE ${ZELTRA_WINDOWS_DEFINITIONS})
target_link_libraries(ZELTRA_ScreenTool_check PRIVATE zeltra_check_logic user32 gdi32 shell32)
# The recording step starts the launcher through caller/zeltra_screentool.h, as callers do.
target_include_directories(ZELTRA_ScreenTool_check PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
zeltra_link_runtime_statically(ZELTRA_ScreenTool_check)
if(MSVC)
  target_link_options(ZELTRA_ScreenTool_check PRIVATE /MANIFEST:NO)
endif()

# The same names the ZIPs' CMake package gives its imported programs.
add_executable(ZELTRA_ScreenTool::launcher ALIAS ZELTRA_ScreenTool)
add_executable(ZELTRA_ScreenTool::check ALIAS ZELTRA_ScreenTool_check)

# What an integrator gets, from the ZIP or from `cmake --install`.
if(PROJECT_IS_TOP_LEVEL)
  include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
endif()

# As a consumer's subproject, or a package manager's build, the two programs
# are all there is to build.
if(NOT ZELTRA_BUILD_TESTS)
  return()
endif()

# The bench's helpers: console programs, the stand-in encoder too, like the real one.
function(zeltra_helper name)
  add_executable(${name} ${ARGN})
  target_compile_definitions(${name} PRIVATE ${ZELTRA_WINDOWS_DEFINITIONS})
  target_link_libraries(${name} PRIVATE user32 gdi32 shell32)
  zeltra_link_runtime_statically(${name})
endfunction()

# The caller header's example program, which the Wine bench drives too. Built
# as a caller's project would build it: without the launcher's definitions (no
# NOMINMAX), wide entry point; the header compiled once more with UNICODE.
add_executable(record_window caller/record_window.cpp)
zeltra_link_runtime_statically(record_window)
add_library(record_window_unicode OBJECT caller/record_window.cpp)
target_compile_definitions(record_window_unicode PRIVATE UNICODE _UNICODE)
if(MINGW)
  target_link_options(record_window PRIVATE -municode)
endif()

set(ZELTRA_HELPERS winebench/helpers)
# The bench's one helper program, a subcommand a file. It paints the check's
# test picture, holds the debug-output buffer with the check's reader, as
# another viewer would, reads recordings back with the check's read-back and
# judges their finish as the caller header does, starts an encoder through
# the launcher's own platform and runs the stop command exactly as the
# launcher composes it.
zeltra_helper(bench_tool
  ${ZELTRA_HELPERS}/bench_tool.cpp
  ${ZELTRA_HELPERS}/bench_reference.cpp
  ${ZELTRA_HELPERS}/debug_viewer.cpp
  ${ZELTRA_HELPERS}/desktop_commands.cpp
  ${ZELTRA_HELPERS}/hung_interpreter.cpp
  ${ZELTRA_HELPERS}/read_back.cpp
  ${ZELTRA_HELPERS}/run_verbatim.cpp
  ${ZELTRA_HELPERS}/target_window.cpp
  check/child_process.cpp
  check/debug_output_reader.cpp
  check/picture_painter.cpp
  platform/win32_platform.cpp
)
target_link_libraries(bench_tool PRIVATE zeltra_check_logic zeltra_platform_pure zeltra_caller ole32)
zeltra_helper(stand_in_encoder ${ZELTRA_HELPERS}/stand_in_encoder.cpp)
# It finds its parameter line by the launcher's own rule (a header-only piece).
target_include_directories(stand_in_encoder PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
set_target_properties(stand_in_encoder PROPERTIES OUTPUT_NAME ffmpeg RUNTIME_OUTPUT_DIRECTORY
  ${CMAKE_CURRENT_BINARY_DIR}/stand-in)
# A version.dll to plant beside the check: its exports undecorated, as the
# system's are, in the 32-bit build too.
add_library(planted_version SHARED ${ZELTRA_HELPERS}/planted_version.cpp)
target_compile_definitions(planted_version PRIVATE ${ZELTRA_WINDOWS_DEFINITIONS})
set_target_properties(planted_version PROPERTIES OUTPUT_NAME version PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/planted)
zeltra_link_runtime_statically(planted_version)
if(MINGW)
  target_link_options(planted_version PRIVATE -Wl,--kill-at)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/release.cmake)

if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME executable_resources
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/check_executable.py
            $<TARGET_FILE:ZELTRA_ScreenTool> ${CMAKE_OBJDUMP} ${ZELTRA_PE_FORMAT})
  add_test(NAME check_executable_resources
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/check_executable.py
            $<TARGET_FILE:ZELTRA_ScreenTool_check> ${CMAKE_OBJDUMP} ${ZELTRA_PE_FORMAT} console)
  set_tests_properties(executable_resources check_executable_resources PROPERTIES TIMEOUT 60)
  # Each suite's time limit, about twice its slowest run on a loaded 2-core
  # machine (unloaded, 10-30 s a suite and 70 s the caller header's), at least
  # 40 s; a hung suite fails then, not at CI's limit. Its watchdog
  # (tests/wine/wine_case.py) fires shortly before, listing what still runs.
  set(ZELTRA_WINE_TIMEOUT_recording_start 60)
  set(ZELTRA_WINE_TIMEOUT_stop 90)
  set(ZELTRA_WINE_TIMEOUT_real_recording 60)
  set(ZELTRA_WINE_TIMEOUT_caller_header 120)
  set(ZELTRA_WINE_TIMEOUT_check 120)
  # Every test below reaches every ffmpeg.exe on the desktop: they run one at a time.
  # The real encoder of the build's architecture is fetched by scripts/fetch-encoder.sh.
  foreach(suite recording_start stop real_recording caller_header check)
    add_test(NAME wine_${suite}
      COMMAND ${Python3_EXECUTABLE} -m unittest -v tests.wine.test_${suite}
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    set(timeout ${ZELTRA_WINE_TIMEOUT_${suite}})
    set_tests_properties(wine_${suite} PROPERTIES RUN_SERIAL TRUE TIMEOUT ${timeout} ENVIRONMENT
      "ZELTRA_BUILD_DIR=${CMAKE_CURRENT_BINARY_DIR};ZELTRA_WINE=${CMAKE_CROSSCOMPILING_EMULATOR};\
ZELTRA_REAL_ENCODER=${CMAKE_CURRENT_SOURCE_DIR}/.cache/encoder/${ZELTRA_ENCODER_ARCHITECTURE}/ffmpeg.exe;\
ZELTRA_TEST_TIMEOUT=${timeout}")
  endforeach()
endif()

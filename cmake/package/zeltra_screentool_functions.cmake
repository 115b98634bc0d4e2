# Puts the launcher and the machine check where a caller's program finds them:
# in its own folder. Included by the ZIPs' CMake package and by the source
# tree built as a subproject, so both give the same functions over the same
# targets, ZELTRA_ScreenTool::launcher and ZELTRA_ScreenTool::check.
#
# ffmpeg.exe (a build with gdigrab and libxvid) must lie in that folder too:
# neither function brings it, as the ZIPs do not ship it.
include_guard(GLOBAL)

# zeltra_screentool_copy_beside(<target>)
# After each build of <target>, copies both programs into the folder of its
# executable, where the caller header's startRecording is pointed at them.
# ffmpeg.exe is yours to put there.
function(zeltra_screentool_copy_beside target)
  foreach(program ZELTRA_ScreenTool::launcher ZELTRA_ScreenTool::check)
    # Built in the same project (a subproject): built before they are copied.
    get_target_property(built ${program} ALIASED_TARGET)
    if(built)
      add_dependencies(${target} ${built})
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${program}> $<TARGET_FILE_DIR:${target}>
      VERBATIM)
  endforeach()
endfunction()

# zeltra_screentool_install(DESTINATION <folder> [COMPONENT <component>])
# Installs both programs into <folder>: give the folder your program installs
# to (its RUNTIME DESTINATION). ffmpeg.exe is yours to install there.
function(zeltra_screentool_install)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "DESTINATION;COMPONENT" "")
  if(NOT arg_DESTINATION)
    message(FATAL_ERROR "zeltra_screentool_install: DESTINATION <folder> is required")
  endif()
  set(component)
  if(arg_COMPONENT)
    set(component COMPONENT ${arg_COMPONENT})
  endif()
  foreach(program ZELTRA_ScreenTool::launcher ZELTRA_ScreenTool::check)
    install(PROGRAMS $<TARGET_FILE:${program}> DESTINATION ${arg_DESTINATION} ${component})
  endforeach()
endfunction()

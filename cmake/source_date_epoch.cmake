# The time stamp in the executables' PE headers: the commit's time, so that
# every build of one commit links the same bytes, wherever and whenever it
# runs. SOURCE_DATE_EPOCH from the environment wins: the release builds from a
# copy of the commit's files, without git history, and sets it.
#
# Debian's MinGW linker takes the time stamp from SOURCE_DATE_EPOCH in its own
# environment. Setting it on the link command itself, rather than relying on
# the shell a build is started from, keeps every build of the tree alike, and a
# changed time changes the link command, which makes the executables relink.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ZELTRA_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  if(Git_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
      OUTPUT_VARIABLE ZELTRA_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()

if(NOT ZELTRA_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "No commit time (no git checkout, no SOURCE_DATE_EPOCH): "
                 "the executables carry the time they are linked")
  set(ZELTRA_SOURCE_DATE_EPOCH "")
  return()
endif()
message(STATUS "Executables carry the commit's time: SOURCE_DATE_EPOCH=${ZELTRA_SOURCE_DATE_EPOCH}")
if(MINGW)
  set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZELTRA_SOURCE_DATE_EPOCH})
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZELTRA_SOURCE_DATE_EPOCH})
endif()

# The release ZIP of this build: one folder, ZELTRA_ScreenTool-<version>-win32
# (the 32-bit product) or -win64, holding what an integrator needs and nothing
# else (cmake/package.cmake lists it). `cmake --build <tree> --target
# release_zip` writes it to <tree>/release/; scripts/release.sh makes the
# whole release.
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

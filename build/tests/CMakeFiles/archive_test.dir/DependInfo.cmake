
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/src/archive/header_test.cc" "tests/CMakeFiles/archive_test.dir/__/src/archive/header_test.cc.o" "gcc" "tests/CMakeFiles/archive_test.dir/__/src/archive/header_test.cc.o.d"
  "/work/main/src/archive/section_test.cc" "tests/CMakeFiles/archive_test.dir/__/src/archive/section_test.cc.o" "gcc" "tests/CMakeFiles/archive_test.dir/__/src/archive/section_test.cc.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/CMakeFiles/archive.dir/DependInfo.cmake"
  "/work/main/build/CMakeFiles/console.dir/DependInfo.cmake"
  "/work/main/build/CMakeFiles/platform.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")

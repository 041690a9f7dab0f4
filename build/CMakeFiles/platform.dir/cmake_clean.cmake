file(REMOVE_RECURSE
  "CMakeFiles/platform.dir/src/platform_posix.cc.o"
  "CMakeFiles/platform.dir/src/platform_posix.cc.o.d"
  "CMakeFiles/platform.dir/src/terminal_posix.cc.o"
  "CMakeFiles/platform.dir/src/terminal_posix.cc.o.d"
  "libplatform.a"
  "libplatform.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/platform.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

file(REMOVE_RECURSE
  "CMakeFiles/archive.dir/src/archive/header.cc.o"
  "CMakeFiles/archive.dir/src/archive/header.cc.o.d"
  "CMakeFiles/archive.dir/src/archive/section.cc.o"
  "CMakeFiles/archive.dir/src/archive/section.cc.o.d"
  "libarchive.a"
  "libarchive.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/archive.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

file(REMOVE_RECURSE
  "CMakeFiles/make_archive.dir/tools/make_archive.cc.o"
  "CMakeFiles/make_archive.dir/tools/make_archive.cc.o.d"
  "make_archive"
  "make_archive.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/make_archive.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

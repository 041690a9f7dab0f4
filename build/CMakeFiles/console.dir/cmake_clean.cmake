file(REMOVE_RECURSE
  "CMakeFiles/console.dir/src/console.cc.o"
  "CMakeFiles/console.dir/src/console.cc.o.d"
  "libconsole.a"
  "libconsole.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/console.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

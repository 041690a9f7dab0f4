file(REMOVE_RECURSE
  "CMakeFiles/run_test.dir/run_test.cc.o"
  "CMakeFiles/run_test.dir/run_test.cc.o.d"
  "run_test"
  "run_test.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/run_test.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

file(REMOVE_RECURSE
  "CMakeFiles/fault_shim.dir/fault_shim.cc.o"
  "CMakeFiles/fault_shim.dir/fault_shim.cc.o.d"
  "libfault_shim.pdb"
  "libfault_shim.so"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/fault_shim.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

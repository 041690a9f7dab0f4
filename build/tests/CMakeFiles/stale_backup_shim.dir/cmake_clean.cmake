file(REMOVE_RECURSE
  "CMakeFiles/stale_backup_shim.dir/stale_backup_shim.cc.o"
  "CMakeFiles/stale_backup_shim.dir/stale_backup_shim.cc.o.d"
  "libstale_backup_shim.pdb"
  "libstale_backup_shim.so"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/stale_backup_shim.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

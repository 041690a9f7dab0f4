file(REMOVE_RECURSE
  "CMakeFiles/inifixer.dir/src/run/backup.cc.o"
  "CMakeFiles/inifixer.dir/src/run/backup.cc.o.d"
  "CMakeFiles/inifixer.dir/src/run/main.cc.o"
  "CMakeFiles/inifixer.dir/src/run/main.cc.o.d"
  "CMakeFiles/inifixer.dir/src/run/run.cc.o"
  "CMakeFiles/inifixer.dir/src/run/run.cc.o.d"
  "inifixer"
  "inifixer.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/inifixer.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()

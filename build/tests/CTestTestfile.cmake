# CMake generated Testfile for 
# Source directory: /work/main/tests
# Build directory: /work/main/build/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/main/build/tests/archive_test[1]_include.cmake")
include("/work/main/build/tests/native.run.cmake")
include("/work/main/build/tests/exfat.run.cmake")
include("/work/main/build/tests/ntfs.run.cmake")
add_test([=[exfat.mount]=] "sh" "/work/main/tests/mount_scratch.sh" "mount" "exfat" "/work/main/build/tests/exfat")
set_tests_properties([=[exfat.mount]=] PROPERTIES  FIXTURES_SETUP "exfat_scratch" SKIP_RETURN_CODE "77" TIMEOUT "120" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;110;add_test;/work/main/tests/CMakeLists.txt;122;add_fs_runs;/work/main/tests/CMakeLists.txt;0;")
add_test([=[exfat.unmount]=] "sh" "/work/main/tests/mount_scratch.sh" "unmount" "exfat" "/work/main/build/tests/exfat")
set_tests_properties([=[exfat.unmount]=] PROPERTIES  FIXTURES_CLEANUP "exfat_scratch" SKIP_RETURN_CODE "77" TIMEOUT "120" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;111;add_test;/work/main/tests/CMakeLists.txt;122;add_fs_runs;/work/main/tests/CMakeLists.txt;0;")
add_test([=[ntfs.mount]=] "sh" "/work/main/tests/mount_scratch.sh" "mount" "ntfs" "/work/main/build/tests/ntfs")
set_tests_properties([=[ntfs.mount]=] PROPERTIES  FIXTURES_SETUP "ntfs_scratch" SKIP_RETURN_CODE "77" TIMEOUT "120" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;110;add_test;/work/main/tests/CMakeLists.txt;123;add_fs_runs;/work/main/tests/CMakeLists.txt;0;")
add_test([=[ntfs.unmount]=] "sh" "/work/main/tests/mount_scratch.sh" "unmount" "ntfs" "/work/main/build/tests/ntfs")
set_tests_properties([=[ntfs.unmount]=] PROPERTIES  FIXTURES_CLEANUP "ntfs_scratch" SKIP_RETURN_CODE "77" TIMEOUT "120" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;111;add_test;/work/main/tests/CMakeLists.txt;123;add_fs_runs;/work/main/tests/CMakeLists.txt;0;")
add_test([=[native.faults]=] "sh" "/work/main/scripts/headless" "/root/.pyenv/shims/python3" "/work/main/tests/fault_harness.py" "/work/main/build/inifixer" "/work/main/build/make_archive")
set_tests_properties([=[native.faults]=] PROPERTIES  PROCESSORS "2" TIMEOUT "600" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;131;add_test;/work/main/tests/CMakeLists.txt;0;")
add_test([=[native.large]=] "sh" "/work/main/scripts/headless" "sh" "/work/main/tests/large_test.sh" "/work/main/build/make_archive" "/work/main/build/tests/native.large" "/work/main/build/inifixer")
set_tests_properties([=[native.large]=] PROPERTIES  ENVIRONMENT "" LABELS "large" RESOURCE_LOCK "large_disk" SKIP_RETURN_CODE "77" TIMEOUT "3600" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;143;add_test;/work/main/tests/CMakeLists.txt;149;add_large_test;/work/main/tests/CMakeLists.txt;0;")

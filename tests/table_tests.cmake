# Read by CTest: registers the end-to-end table as BUILD.table.<row>, one test
# a row of `table_test --gtest_list_tests` run with ENV (a list of VAR=VALUE)
# alone as its environment, which lists the rows that apply to that build;
# each runs with ENV in its environment, requiring the test fixtures FIXTURES
# (a list). A row that this machine cannot run exits 77, which
# SKIP_RETURN_CODE reports as skipped: the one way a test is skipped. Before
# table_test is built, one test BUILD.table.not_built stands for the table, and
# fails.
execute_process(COMMAND env -i ${env} ${table_test} --gtest_list_tests
  OUTPUT_VARIABLE listed RESULT_VARIABLE status)
if(status EQUAL 0)
  string(REGEX MATCHALL "\n  [A-Za-z0-9_]+" rows "${listed}")
else()
  set(rows not_built)
endif()
foreach(row IN LISTS rows)
  string(STRIP "${row}" row)
  add_test(${build}.table.${row} ${headless} ${table_test}
    --gtest_filter=table.${row})
  set_tests_properties(${build}.table.${row} PROPERTIES
    ENVIRONMENT "${env}" FIXTURES_REQUIRED "${fixtures}"
    SKIP_RETURN_CODE 77)
endforeach()

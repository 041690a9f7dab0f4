# Empty dependencies file for run_test.
# This may be replaced when dependencies are built.

# Empty dependencies file for archive_test.
# This may be replaced when dependencies are built.

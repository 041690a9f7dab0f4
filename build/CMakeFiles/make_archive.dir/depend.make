# Empty dependencies file for make_archive.
# This may be replaced when dependencies are built.

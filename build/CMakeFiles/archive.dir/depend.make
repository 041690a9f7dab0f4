# Empty dependencies file for archive.
# This may be replaced when dependencies are built.

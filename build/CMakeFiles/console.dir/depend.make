# Empty dependencies file for console.
# This may be replaced when dependencies are built.

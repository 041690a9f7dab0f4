# Empty dependencies file for inifixer.
# This may be replaced when dependencies are built.

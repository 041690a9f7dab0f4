# Empty dependencies file for fault_shim.
# This may be replaced when dependencies are built.

# Empty dependencies file for stale_backup_shim.
# This may be replaced when dependencies are built.

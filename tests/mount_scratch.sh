#!/bin/sh
# mount_scratch.sh mount|unmount exfat|ntfs DIR
#
# mount: makes an image file DIR/image of the file system and mounts it
# through FUSE on DIR/mnt: exFAT with exfat-fuse on a loop device, NTFS with
# ntfs-3g straight from the image. Where this machine cannot mount it (not
# root, no /dev/fuse, no loop device, a driver missing or refused), it
# writes the reason to DIR/skip and exits 77 (skipped); the end-to-end cases
# read DIR/skip and skip with that reason.
#
# unmount: unmounts DIR/mnt and detaches the loop devices of DIR/image,
# whatever state a mount, a killed run or a failed case left. The image
# stays until the next mount: it holds the directories of failed cases.
# Exits 77 when the mount was skipped and there was nothing to undo.
set -u
action=$1 fs=$2 dir=$3
image=$dir/image mnt=$dir/mnt

# The programs each needs (scripts/packages names their packages).
case $fs in
  exfat) tools="mkfs.exfat mount.exfat-fuse" ;;
  ntfs) tools="mkntfs ntfs-3g" ;;
  *) echo "unknown file system: $fs" >&2; exit 2 ;;
esac
tools="$tools losetup mountpoint"

# Waits up to 10 s until no process holds the file $1 open: the FUSE
# driver goes on for a moment after its file system is unmounted.
wait_closed() {
  for i in $(seq 100); do
    [ -z "$(find /proc/[0-9]*/fd -lname "$1" 2>/dev/null | head -n 1)" ] &&
      return 0
    sleep 0.1
  done
  echo "FAIL: $1 is still open 10 s after the unmount" >&2
  return 1
}

# Unmounts DIR/mnt if anything is mounted there, and waits for its driver
# to end. A mount that is still busy is retried for a while, then detached
# lazily so that none is left behind; that fails the unmount.
unmount() {
  mountpoint -q "$mnt" 2>/dev/null || return 0
  for i in 1 2 3 4 5 6 7 8 9 10; do
    if umount "$mnt"; then
      # exfat-fuse holds the loop device, ntfs-3g the image.
      for file in "$image" $(losetup -n -O NAME -l -j "$image"); do
        wait_closed "$file" || return 1
      done
      return 0
    fi
    sleep 1
  done
  umount -l "$mnt"
  echo "FAIL: $mnt was still busy after 10 s; detached it lazily" >&2
  return 1
}

# Detaches every loop device that the image is attached to.
detach() {
  [ -e "$image" ] || return 0
  for loop in $(losetup -n -O NAME -l -j "$image"); do
    losetup -d "$loop" || return 1
  done
}

if [ "$action" = unmount ]; then
  undone=0
  if mountpoint -q "$mnt" 2>/dev/null ||
     [ -n "$(losetup -n -O NAME -l -j "$image" 2>/dev/null)" ]; then
    undone=1
  fi
  # Each step is tried even when one before it failed.
  failed=0
  unmount || failed=1
  detach || failed=1
  [ "$failed" = 1 ] || [ ! -d "$mnt" ] || rmdir "$mnt" || failed=1
  [ "$failed" = 0 ] || exit 1
  if [ "$undone" = 0 ] && [ -s "$dir/skip" ]; then
    echo "skipped: $(cat "$dir/skip")"
    exit 77
  fi
  exit 0
fi
[ "$action" = mount ] || { echo "unknown action: $action" >&2; exit 2; }

skip() {
  echo "$*" >"$dir/skip"
  echo "skipped: $*"
  exit 77
}

# Whatever an earlier run left, then a fresh start.
mkdir -p "$dir" || exit 1
unmount && detach || exit 1
rm -f "$dir/skip" "$image" "$dir/error"
mkdir -p "$mnt" || exit 1

[ "$(id -u)" = 0 ] || skip "mounting $fs images needs root"
[ -c /dev/fuse ] || skip "this machine has no /dev/fuse"
for tool in $tools; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

# Sparse: only what the file system writes takes disk space.
truncate -s 32M "$image" || exit 1
if [ "$fs" = exfat ]; then
  mkfs.exfat "$image" >"$dir/error" 2>&1 || { cat "$dir/error"; exit 1; }
  loop=$(losetup -f --show "$image" 2>"$dir/error") ||
    skip "no loop device for the exFAT image: $(cat "$dir/error")"
  if ! mount.exfat-fuse "$loop" "$mnt" >"$dir/error" 2>&1; then
    losetup -d "$loop"
    skip "exfat-fuse cannot mount here:" \
      "$(grep -v '^FUSE exfat' "$dir/error")"
  fi
else
  mkntfs -F -Q "$image" >"$dir/error" 2>&1 || { cat "$dir/error"; exit 1; }
  ntfs-3g "$image" "$mnt" >"$dir/error" 2>&1 ||
    skip "ntfs-3g cannot mount here: $(cat "$dir/error")"
fi
rm -f "$dir/error"
mountpoint -q "$mnt" || { echo "FAIL: nothing mounted on $mnt" >&2; exit 1; }
echo "$fs image mounted on $mnt"

#!/bin/sh
# smallfs.sh mount|umount DIR: a 64 KiB tmpfs for the full-disk test. A refused
# mount is not an error here: the test then says it was skipped, and why.
dir=$2
case $1 in
mount)
    mkdir -p "$dir"
    mountpoint -q "$dir" && umount "$dir"
    mount -t tmpfs -o size=64k tmpfs "$dir" 2>/dev/null || echo "smallfs: mount refused; the full-disk test will be skipped"
    ;;
umount)
    mountpoint -q "$dir" && umount "$dir"
    rmdir "$dir" 2>/dev/null
    ;;
esac
exit 0

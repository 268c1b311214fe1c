#!/bin/sh
# smallfs.sh mount DIR [SIZE [INODES]]: a tmpfs of SIZE (64k unless given) to
# fill, with room for INODES files and folders, its root included, if given.
# smallfs.sh mount-ro DIR: a read-only tmpfs holding one file, kept.bin.
# smallfs.sh umount DIR
# A refused mount is not an error here: the tests that need the disk then
# say they were skipped, and why.
dir=$2
case $1 in
mount | mount-ro)
    mkdir -p "$dir"
    mountpoint -q "$dir" && umount "$dir"
    if ! mount -t tmpfs -o size="${3:-64k}${4:+,nr_inodes=$4}" tmpfs "$dir" 2>/dev/null; then
        echo "smallfs: mount refused; the tests that need $dir will be skipped"
    elif [ "$1" = mount-ro ]; then
        printf 'written before the disk was made read-only\n' >"$dir/kept.bin"
        if ! mount -o remount,ro "$dir" 2>/dev/null; then
            umount "$dir"
            echo "smallfs: read-only remount refused; the tests that need $dir will be skipped"
        fi
    fi
    ;;
umount)
    mountpoint -q "$dir" && umount "$dir"
    rmdir "$dir" 2>/dev/null
    ;;
esac
exit 0

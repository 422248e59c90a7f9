#!/bin/sh
# Writes a library's size and the time it was linked into the ten-digit size
# field and the "YYYY-MM-DD hh:mm:ss" time field of its build record. Both fields
# keep their width, so the file's size does not change by the stamp.
set -eu
lib="$1"

# The byte offset of the first match of a pattern in the library; fails without one.
offset_of() {
  found=$(grep -boa "$1" "$lib" | head -n 1 | cut -d: -f1)
  if [ -z "$found" ]; then
    echo "stamp-record: no $2 field in $lib" >&2
    exit 1
  fi
  echo "$found"
}

size_at=$(offset_of '|size|[0-9]\{10\}|vendor|' size)
time_at=$(offset_of '|build_time|[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]|filename|' time)
size=$(stat -c %s "$lib")
printf '%010d' "$size" | dd of="$lib" bs=1 seek=$((size_at + 6)) conv=notrunc status=none
date '+%Y-%m-%d %H:%M:%S' | head -c 19 | dd of="$lib" bs=1 seek=$((time_at + 12)) conv=notrunc status=none

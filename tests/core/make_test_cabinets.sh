#!/usr/bin/env bash
# Makes the cabinets the cabinet tests extract, with gcab, and keeps their source files beside
# them for comparison. Usage: make_test_cabinets.sh gcab-program output-folder
set -euo pipefail
gcab=$1
out=$2
rm -rf "$out"
mkdir -p "$out/src/sub" "$out/escape/inner" "$out/named" "$out/full"

# Source files: text, an empty file, a nested file, and data large enough to span several
# compressed blocks, half of it incompressible.
printf 'Lumarix cabinet test\r\nsecond line\r\n' > "$out/src/readme.txt"
: > "$out/src/empty.dat"
printf 'nested file\n' > "$out/src/sub/nested.txt"
{ head -c 150000 /dev/urandom; for i in $(seq 1 4000); do printf 'line %05d of repeated text\n' "$i"; done; } \
  > "$out/src/data.bin"

cd "$out/src"
"$gcab" -c "$out/stored.cab" readme.txt empty.dat sub/nested.txt data.bin
"$gcab" -c -z "$out/mszip.cab" readme.txt empty.dat sub/nested.txt data.bin

# An entry named "x\..\..\escape_target.txt", which would land beside the destination folder
# (gcab drops a leading "../" but keeps inner ones).
printf 'must not be written\n' > "$out/escape/escape_target.txt"
mkdir -p "$out/escape/inner/x"
cd "$out/escape/inner"
"$gcab" -c "$out/escape.cab" x/../../escape_target.txt

# One entry whose 20-character name the tests replace with other names of that length.
printf 'renamed entry\n' > "$out/named/zzzzzzzzzzzzzzzz.txt"
cd "$out/named"
"$gcab" -c "$out/named.cab" zzzzzzzzzzzzzzzz.txt

# One entry named "full", extracted into a folder whose "full" refuses every write.
head -c 5000 /dev/urandom > "$out/full/full"
cd "$out/full"
"$gcab" -c "$out/full.cab" full

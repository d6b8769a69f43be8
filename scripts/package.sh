#!/bin/bash
# Builds the release package build/package/Kelvane-<version>.zip reproducibly and prints its SHA-256.
# Contents, in this order: Kelvane.exe (the win32 deliverable), kvprofile.exe (the profile
# author's companion, win32) and Kelvane.cfg.sample (the sample profile, CRLF line ends), the
# 64-bit build with its own copy of the sample in x64/ (the build to run on 64-bit Windows: it
# repairs both Winsock catalogs), and README.txt (docs/package-readme.txt). Each program is ready
# to run with a profile beside it. Every entry gets the same
# fixed time: SOURCE_DATE_EPOCH when set, otherwise the time of the last commit. The program
# file is linked without a time stamp, so the same sources give the same zip.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${KV_JOBS:-2}

scripts/bootstrap.sh

version=$(sed -n 's/^project(Kelvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }

echo "=== building win32: Kelvane and kvprofile"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target Kelvane kvprofile
echo "=== building win64: Kelvane"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs" --target Kelvane
exe=$root/build/win32/app/Kelvane.exe
companion=$root/build/win32/companion/kvprofile.exe
exe64=$root/build/win64/app/Kelvane.exe

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
# Without either, a fixed date (zip times start in 1980).
epoch=${epoch:-315532800}

out=$root/build/package
stage=$out/stage
zipfile=$out/Kelvane-$version.zip
rm -rf "$stage" "$zipfile"
mkdir -p "$stage/x64"

cp "$exe" "$stage/Kelvane.exe"
cp "$companion" "$stage/kvprofile.exe"
cp "$exe64" "$stage/x64/Kelvane.exe"
# CRLF line ends for Notepad; the program reads the profile in text mode either way.
sed 's/\r$//; s/$/\r/' examples/Kelvane.cfg > "$stage/Kelvane.cfg.sample"
cp "$stage/Kelvane.cfg.sample" "$stage/x64/Kelvane.cfg.sample"
sed 's/\r$//; s/$/\r/' docs/package-readme.txt > "$stage/README.txt"

files=(Kelvane.exe kvprofile.exe Kelvane.cfg.sample x64/Kelvane.exe x64/Kelvane.cfg.sample README.txt)
chmod 0644 "${files[@]/#/$stage/}"
# Zip stores local time: UTC here, so the result does not depend on the machine's time zone.
export TZ=UTC
touch -h -d "@$epoch" "${files[@]/#/$stage/}"
# -X: no extra fields (uid/gid, Unix times); -D: no folder entries; names in the order given.
(cd "$stage" && zip -X -D -9 -q "$zipfile" "${files[@]}")
rm -rf "$stage"

echo
unzip -l "$zipfile"
echo "SHA-256 $(sha256sum "$zipfile" | cut -d' ' -f1)  ${zipfile#"$root"/}"

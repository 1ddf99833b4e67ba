#!/usr/bin/env bash
# Takes one screenshot as PNG and one as BMP of the same (still) screen through
# pvdrive and checks with ImageMagick that the PNG decodes to the same pixels.
set -eu
bin=${1:?bin folder}; work=${2:?work folder}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"; rm -f "$work"/shot.*
run="$here/../../scripts/wine-run.sh"
"$run" "$bin/pvdrive.exe" shot "$(winepath -w "$work/shot.png" 2>/dev/null || echo "Z:$work/shot.png")"
"$run" "$bin/pvdrive.exe" shot "$(winepath -w "$work/shot.bmp" 2>/dev/null || echo "Z:$work/shot.bmp")"
identify "$work/shot.png"
diff=$(compare -metric AE "$work/shot.png" "$work/shot.bmp" null: 2>&1) || true
echo "differing pixels: $diff"
[ "$diff" = 0 ]

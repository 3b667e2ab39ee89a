#!/usr/bin/env bash
# Downloads 64 MB from the loopback test server through CFicheroHttp and with curl in the same
# run, and prints both rates and their ratio, for reads of 64 KB and of 1 MB (or the one read
# size given); then the peak private bytes with 50 streams reading at once.
# Usage: bench/http_download_bench.sh build-folder [runs] [read size]
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: http_download_bench.sh build-folder [runs]}" && pwd)
runs=${2:-4}
pieces=${3:-65536 1048576}
exe=$build/bench/bench_http_download.exe
[ -x "$exe" ] || { echo "$exe not found: build the bench programs first" >&2; exit 2; }
state=$build/bench-http-server
python3 "$repo/tests/core/http_test_server.py" start --state-dir "$state" >/dev/null || exit 1
trap 'python3 "$repo/tests/core/http_test_server.py" stop --state-dir "$state"' EXIT
url=http://127.0.0.1:$(cat "$state/port")/bench/64m
curl -s -o /dev/null "$url"   # the server builds the file once
best=0
for _ in $(seq "$runs"); do
  rate=$(curl -s -o /dev/null -w '%{speed_download}' "$url")
  best=$(python3 -c "print(max($best, $rate / 1048576))")
done
printf 'curl %.1f MB/s (best of %d)\n' "$best" "$runs"
for piece in $pieces; do
  ours=$("$repo/tools/wine-run" "$exe" "$url" "$((runs + 1))" "$piece") || { echo "$ours"; exit 1; }
  echo "$ours"
  rate=$(echo "$ours" | sed -n 's/^lumarix \([0-9.]*\) MB\/s.*/\1/p')
  python3 -c "print('ratio lumarix/curl %.2f (reads of $piece bytes)' % ($rate / $best))"
done
"$repo/tools/wine-run" "$exe" "$url" parallel 50

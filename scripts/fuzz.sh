#!/usr/bin/env bash
# fuzz.sh [SECONDS] [TARGET...]: builds the libFuzzer targets with clang under ASan+UBSan (in
# build-fuzz) and runs each for SECONDS (default 300), seeded from the fixtures, from the
# files of a real session and from the shipped resources. Corpora grow in build-fuzz/corpus/TARGET;
# a finding is written to build-fuzz/findings/ and ends the script with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(json url cipher reply server_list remote_config defaults vpn_preferences keychain resources)

scripts/install-deps.sh
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DORVANE_SANITIZE=fuzzer -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"$(nproc)" --target fuzz orvane

# seeds: the fixtures, and the files a real session leaves on its device
seeds="$dir/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/json" "$seeds/device"
for f in tools/fixtures/*.json tests/tools/fixtures/*.json; do cp "$f" "$seeds/json/$(echo "$f" | tr / -)"; done
"$dir/tools/orvane" --device "$seeds/device" >/dev/null
seed_for() {
  case "$1" in
    json|reply|server_list|remote_config) echo "$seeds/json" ;;
    url) echo "$seeds/url" ;;
    cipher) echo "$seeds/device/tmp" ;;  # the enciphered configuration cache
    defaults) echo "$seeds/device/Library/Preferences" ;;
    vpn_preferences) echo "$seeds/vpn" ;;
    keychain) echo "$seeds/keychain" ;;
    resources) echo "$seeds/resources" ;;
  esac
}
mkdir -p "$seeds/url" "$seeds/vpn" "$seeds/keychain"
printf 'https://127.0.0.1:8443/data/server/' >"$seeds/url/service"
printf 'file:///res/LKSCommon.bundle/Images/icon.png?x=1#f' >"$seeds/url/file"
cp "$seeds/device/vpn-preferences.json" "$seeds/vpn/"
cp "$seeds/device/keychain.sqlite" "$seeds/keychain/"
# the shipped resources, each behind the byte that picks its reader
mkdir -p "$seeds/resources"
seed_resources() {
  local byte="$1"
  shift
  for f in "$@"; do { printf "\\$byte"; cat "$f"; } >"$seeds/resources/$(echo "$f" | tr / -)"; done
}
seed_resources 000 resources/*.storyboard resources/LKSCommon.bundle/*.storyboard tests/platform/uikit/fixtures/*.storyboard
seed_resources 001 resources/images.json resources/LKSCommon.bundle/images.json tests/platform/uikit/fixtures/images.json
seed_resources 002 resources/LKSCommon.bundle/colors.json tests/platform/uikit/fixtures/colors.json
seed_resources 003 resources/LKSCommon.bundle/Info.json

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$dir/findings"
for t in "${targets[@]}"; do
  corpus="$dir/corpus/$t"
  mkdir -p "$corpus"
  echo "=== fuzzing $t for ${seconds}s ==="
  "$dir/fuzz/${t}_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$dir/findings/${t}-" "$corpus" "$(seed_for "$t")" 2>"$dir/$t.log" ||
    { tail -50 "$dir/$t.log"; echo "fuzz target $t found a fault; see $dir/findings/" >&2; exit 1; }
  grep -E "^stat::number_of_executed_units|^stat::new_units_added" "$dir/$t.log" | tr '\n' ' '
  echo
done

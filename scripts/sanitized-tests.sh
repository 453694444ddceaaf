#!/usr/bin/env bash
# Builds the native unit tests that need no window with AddressSanitizer
# (engine values, archive, log, registry, bridge, the storage walker and the
# file copies and deletes on it) and the disk scans with ThreadSanitizer,
# and runs them. Each build lives in its own folder.
set -euo pipefail
cd "$(dirname "$0")/.."

run() {
  local dir=$1 sanitizer=$2
  shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE="$sanitizer" \
    -DTW_WARNINGS_AS_ERRORS=ON >/dev/null
  cmake --build "$dir" -j2 --target "$@"
  local names
  names=$(IFS='|'; echo "$*")
  (cd "$dir" && ctest --output-on-failure -j2 -R "^(${names})\$")
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
run build-asan address engine-value-tests archive_test log_test registry-store-tests \
  registry-service-tests host_bridge_test storage_tests tw_file_boundary_test
run build-tsan thread disk_tests disk_stress_tests

#!/usr/bin/env bash
# The engine's, the dictionary's and the search's tests built by clang with
# ThreadSanitizer (preset tsan, into build-tsan/): the search's recognitions
# run on several threads. Only those three test binaries are built, at -O1.
# Five long cases are left out (the preset names them): two load tests and
# the x87 comparison run on one thread, and the two longest queries' threads
# do what the other search tests' do. The window's tests stay out: Qt's own
# futex-based hand-offs give false reports.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$(date +%s)
cmake --workflow --preset tsan
echo "ThreadSanitizer: no reports, $(( $(date +%s) - start )) s"

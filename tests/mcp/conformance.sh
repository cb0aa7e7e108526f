#!/usr/bin/env bash
# conformance.sh PROBE SCENARIO: runs the protocol's conformance suite against the probe for one
# scenario and passes only when its summary says every check passed, without warnings. Exits 77
# (skipped) where Node is older than 20 or the suite is not installed.
set -uo pipefail
probe=$1 scenario=$2
suite="$(cd "$(dirname "$0")/.." && pwd)/node_modules/.bin/conformance"
major=$(node --version 2>/dev/null | sed -E 's/^v([0-9]+).*/\1/')
if [ -z "$major" ] || [ "$major" -lt 20 ]; then
    echo "Skipped: the conformance suite needs Node 20 or newer (found ${major:-none})."; exit 77
fi
[ -x "$suite" ] || { echo "Skipped: the conformance suite is missing; run npm ci --prefix tests."; exit 77; }
output=$("$suite" client --command "$probe" --scenario "$scenario" 2>&1)
status=$?
echo "$output"
summary=$(grep -E '^Passed: [0-9]+/[0-9]+, 0 failed, 0 warnings$' <<<"$output")
[ "$status" -eq 0 ] && [ -n "$summary" ] && grep -q 'OVERALL: PASSED' <<<"$output"

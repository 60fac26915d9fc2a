#!/usr/bin/env bash
# Makes each of the ledger's, record gaps' and data monitor's rules wrong in
# turn (one mutation at a time), rebuilds the test binary and runs the
# bus-order model's seeded run against it: each mutation must be caught.
# Every file is restored afterwards (also on Ctrl-C).
#
#   bash fuzz/bus_order_mutations.sh [build dir, default build/test] [gtest filter]
#
# The build dir is one configured as in README (ASan/UBSan, Debug). Prints one
# line per mutation: caught or NOT CAUGHT, and the clause that caught it.
set -u
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/test}
filter=${2:-BusOrderProperty.SeededScenariosPassTheOracle}

# name|file|text|replacement (the text must occur exactly once)
mutations=(
"priming ends after a pass that did not drain|src/interfaces/usb_vandrel_data_monitor.cpp|if (primingPass \&\& drained) {|if (primingPass) {"
"a failed poll ends priming|src/interfaces/usb_vandrel_data_monitor.cpp|                pollFailed(status);|                pollFailed(status), drained = true;"
"a device type's query not disturbed by a foreign frame|src/interfaces/vandrel_dali_ledger.cpp|        _disturbed.insert(ticket);
        return;|        return;"
"a loss puts no owed frame in doubt|src/interfaces/vandrel_dali_ledger.cpp|        if (reportable(owed, from) \&\& !owed.suspect) {|        if (false) {"
"record gaps settle a skipped index too early|src/interfaces/vandrel_record_gaps.cpp|missing.due > began)|false)"
"the hold cap puts no later frame in doubt|src/interfaces/vandrel_dali_ledger.cpp|    int doubted = suspectHeldOwners(from);|    int doubted = 0;"
"an awaited frame goes out while an identical one is owed|src/interfaces/vandrel_dali_ledger.cpp|            \&\& (std::any_of(_owed.begin(), _owed.end(), same)|            \&\& (false \&\& std::any_of(_owed.begin(), _owed.end(), same)"
"an awaited frame goes out while a copy may have taken an identical one's echo|src/interfaces/vandrel_dali_ledger.cpp|std::any_of(_echoMayCome.begin(), _echoMayCome.end(), same)|false"
"record gaps wait for a told frame's record a wrap behind|src/interfaces/vandrel_record_gaps.cpp|        if (missing.told \&\& missing.count + 1 <= outOfReach)|        if (false)"
"the indices the DMX sender was given are not told to the gaps|src/interfaces/vandrel_dali_ledger.cpp|    _gaps.dmxFrameGiven(index, whole);|    (void)index, (void)whole;"
"another master's copy of our ENABLE DEVICE TYPE counts as a foreign frame|src/interfaces/vandrel_dali_ledger.cpp|    if (_ourEnabling != 0 \&\& frame == _ourEnablingFrame)|    if (false)"
"the hold cap leaves the frame held behind out of doubt|src/interfaces/vandrel_dali_ledger.cpp|    if (!_owed.empty() \&\& _owed.front().ticket == _heldBehind \&\& !_owed.front().suspect) {|    if (false) {"
"a first DMX record read from the first frame though frames went off the line|src/interfaces/vandrel_record_index.cpp|_onLine.empty() ? _firstGiven : _onLine.front().first|_firstGiven"
"record gaps forget a frame on the line that the count moved past|src/interfaces/vandrel_record_gaps.cpp|    if (shift != 0) {|    if (false) {"
)

files=(src/interfaces/usb_vandrel_data_monitor.cpp src/interfaces/vandrel_dali_ledger.cpp
    src/interfaces/vandrel_record_gaps.cpp src/interfaces/vandrel_record_index.cpp)
backup=$(mktemp -d)
for file in "${files[@]}"; do cp -p "$file" "$backup/$(basename "$file")"; done
restore() {
    local kept
    for kept in "${files[@]}"; do
        cmp -s "$backup/$(basename "$kept")" "$kept" || cp "$backup/$(basename "$kept")" "$kept"
    done
}
trap 'restore; rm -rf "$backup"' EXIT
trap 'exit 1' INT TERM

for entry in "${mutations[@]}"; do
    IFS='|' read -r name file text replacement <<<"$(printf '%s' "$entry" | tr '\n' '\r')"
    text=${text//$'\r'/$'\n'}
    replacement=${replacement//$'\r'/$'\n'}
    restore
    if ! python3 - "$file" "$text" "$replacement" <<'EOF'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace('\\&', '&'), sys.argv[3].replace('\\&', '&')
source = open(path).read()
if source.count(old) != 1:
    sys.exit(1)
open(path, 'w').write(source.replace(old, new))
EOF
    then
        echo "$name: the rule's text was not found once in $file (update this script)"
        continue
    fi
    if ! cmake --build "$build" -j 4 --target test_interfaces >/tmp/bus_order_mutation_build.log 2>&1; then
        echo "$name: build failed (see /tmp/bus_order_mutation_build.log)"
        continue
    fi
    output=$(cd "$build" && QT_QPA_PLATFORM=offscreen QM_SOURCE_DIR="$root" \
        ./tests/test_interfaces --gtest_filter="$filter" 2>&1)
    if grep -q '^\[  PASSED  \]' <<<"$output" && ! grep -q FAILED <<<"$output"; then
        echo "$name: NOT CAUGHT"
    else
        seeds=$(grep -A2 'run.failed' <<<"$output" | grep -m1 -o 'Which is: [0-9]*' | grep -o '[0-9]*')
        echo "$name: caught (${seeds:-?} seeds): $(grep -m1 -E '^seed [0-9]+: \(' <<<"$output" | cut -c1-160)"
    fi
done
restore
cmake --build "$build" -j 4 --target test_interfaces >/dev/null 2>&1

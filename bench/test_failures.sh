#!/bin/sh
# rorir-bench must refuse, with a message naming the phase, an exit status of 1 and no figure
# on its standard output, when its sensor does not start or dies while it is measured.
#   test_failures.sh RORIR-BENCH RORIR-SENSOR
bench=$1
sensor=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/rorir-bench-failures-XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
# A sensor that ends itself (SIGTERM) within a second, long before the phases are over.
printf '#!/bin/sh\nexec timeout 1 %s "$@"\n' "$sensor" >"$work/dying-sensor"
chmod +x "$work/dying-sensor"

failed=0
refuses() {  # SENSOR PATTERN: the message rorir-bench must give
  "$bench" --seconds 2 --sensor "$1" >"$work/out" 2>"$work/err"
  status=$?
  if [ $status -ne 1 ] || [ -s "$work/out" ] || ! grep -q "^rorir-bench: paced cycle: .*$2" "$work/err"; then
    echo "FAILED with sensor $1: exit status $status, expected 1, a message matching '$2', no output"
    echo "--- standard output:"; cat "$work/out"
    echo "--- standard error:"; cat "$work/err"
    failed=1
  else
    echo "ok: sensor $1: $(grep '^rorir-bench: paced cycle' "$work/err" | head -n 1)"
  fi
}
refuses /bin/false "exited with status 1"
refuses "$work/no-such-sensor" "could not be run"
refuses "$work/dying-sensor" "exited with status 124"
exit $failed

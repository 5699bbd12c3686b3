# Sourced by the shell tests: one line a check, "[  OK  ] NAME" or
# "[ FAIL ] NAME", and a closing "N passed, N failed" whose status is the
# test's exit status (end the test with `summary`).
passed=0 failed=0
pass() { printf '[  OK  ] %s\n' "$1"; passed=$((passed + 1)); }
fail() { printf '[ FAIL ] %s\n' "$1"; failed=$((failed + 1)); }
summary() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

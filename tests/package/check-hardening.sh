#!/usr/bin/env bash
# The programs carry the hardening of Debian's own packages, as lintian and hardening-check look
# for it: position-independent (an ELF of type DYN), relocations read-only after start
# (GNU_RELRO and BIND_NOW), the stack protector linked in (__stack_chk_fail) and, in an
# optimised build, the C library's checked calls (the __*_chk functions).
#
#   tests/package/check-hardening.sh FORTIFY(yes|no) PROGRAM...
set -euo pipefail

fortify=${1:?yes or no}
shift
failures=0
fail() {
    echo "hardening: FAILED: $*" >&2
    failures=$((failures + 1))
}

for program in "$@"; do
    name=$(basename "$program")
    [ -f "$program" ] || { fail "$program is missing"; continue; }
    readelf -h "$program" | grep -qE '^ +Type: +DYN' || fail "$name is not position-independent"
    readelf -lW "$program" | grep -q 'GNU_RELRO' || fail "$name has no read-only relocation segment"
    readelf -dW "$program" | grep -qE '\((FLAGS|FLAGS_1)\).*\b(BIND_NOW|NOW)\b' ||
        fail "$name resolves its symbols lazily (no BIND_NOW)"
    symbols=$(readelf --dyn-syms -W "$program")
    grep -q ' __stack_chk_fail' <<<"$symbols" || fail "$name has no stack protector"
    if [ "$fortify" = yes ]; then
        grep -qE ' __[a-z_]+_chk(@|$| )' <<<"$symbols" || fail "$name calls no checked C library function"
    fi
done

if [ $failures -gt 0 ]; then
    echo "hardening: $failures check(s) failed" >&2
    exit 1
fi
echo "hardening: $# program(s) hardened"

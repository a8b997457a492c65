#!/usr/bin/env bash
# The single-instance tests of a build reached through a folder that only its owner can enter
# (mode 0700), as a checkout under a private home folder is: the program, the tests' settings,
# session and temporary folders all lie under it. A socket that another user must reach may not
# be put there; the tests that need one make their own where that user can reach it.
#
#   tools/single-instance-private.sh BUILD_FOLDER
set -euo pipefail

build=$(cd "${1:?build folder}" && pwd)
tests=$build/test_gui
[ -x "$tests" ] || { echo "single-instance-private: $tests is not built" >&2; exit 1; }
private=$(mktemp -d /tmp/tarvoline-private.XXXXXX)
trap 'rm -rf "$private"' EXIT
chmod 0700 "$private"
ln -s "$build" "$private/build"
home=$private/home
mkdir -p "$home/config" "$home/run" "$home/tmp"
chmod 0700 "$home/run"
cd "$private"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run TMPDIR=$home/tmp \
    timeout 300 "$private/build/test_gui" --gtest_filter='SingleInstance*' --gtest_brief=1
echo "single-instance-private: the single-instance tests pass under a private folder"

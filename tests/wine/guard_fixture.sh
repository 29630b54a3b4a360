#!/usr/bin/env bash
# Prepares the hostile-path test's prefix from the host: drive Q: mapped to a scratch
# folder inside the prefix (a drive root the test may aim at), and a folder link to a
# folder outside the test's fixture. Wine can make neither itself.
#
#   guard_fixture.sh <state-dir> <program-title>...
#
# Q:\ is C:\kstest\guard-qdrive. For each test program: C:\kstest\<title>\outside and
# C:\kstest\<title>\hostile-links\tree\outside, a relative link to ..\..\outside that
# stays inside the prefix.
set -euo pipefail

state=$(cd "${1:?usage: guard_fixture.sh <state-dir> <program-title>...}" && pwd)
shift
prefix="$state/prefix"
drive="$prefix/drive_c"
[ -d "$drive" ] || { echo "guard_fixture: no test prefix in $state" >&2; exit 1; }

mkdir -p "$drive/kstest/guard-qdrive"
ln -sfn ../drive_c/kstest/guard-qdrive "$prefix/dosdevices/q:"

for title in "$@"; do
    case "$title" in
        ""|*/*|.*) echo "guard_fixture: unusable program title '$title'" >&2; exit 1 ;;
    esac
    base="$drive/kstest/$title"
    # rm does not follow the link it removes.
    rm -rf "$base/hostile-links"
    mkdir -p "$base/outside" "$base/hostile-links/tree"
    ln -s ../../outside "$base/hostile-links/tree/outside"
done

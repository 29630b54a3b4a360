#!/usr/bin/env bash
# Prepares folder links inside a test prefix from the host. Wine cannot make junctions
# or folder symbolic links itself (CreateSymbolicLinkA answers TRUE and makes nothing;
# FSCTL_SET_REPARSE_POINT fails with 50), but it reports a Unix symbolic link to a
# folder as a folder with FILE_ATTRIBUTE_REPARSE_POINT. Every link stays in the prefix.
#
#   folder_links.sh <state-dir> <program-title>...
#       for the link-safety tests: C:\kstest\<title>\folder-links\target and
#       C:\kstest\<title>\folder-links\tree\linked, a relative link to ..\target.
#   folder_links.sh --guard <state-dir> <program-title>...
#       for the hostile-path tests: drive Q: mapped to C:\kstest\guard-qdrive (a drive
#       root the test may aim at), C:\kstest\<title>\outside and
#       C:\kstest\<title>\hostile-links\tree\outside, a relative link to ..\..\outside.
set -euo pipefail

guard=0
if [ "${1:-}" = --guard ]; then guard=1; shift; fi
state=$(cd "${1:?usage: folder_links.sh [--guard] <state-dir> <program-title>...}" && pwd)
shift
prefix="$state/prefix"
drive="$prefix/drive_c"
[ -d "$drive" ] || { echo "folder_links: no test prefix in $state" >&2; exit 1; }
if [ $guard = 1 ]; then
    mkdir -p "$drive/kstest/guard-qdrive"
    ln -sfn ../drive_c/kstest/guard-qdrive "$prefix/dosdevices/q:"
fi

for title in "$@"; do
    case "$title" in
        ""|*/*|.*) echo "folder_links: unusable program title '$title'" >&2; exit 1 ;;
    esac
    if [ $guard = 1 ]; then
        base="$drive/kstest/$title/hostile-links" target=../../outside name=outside
        mkdir -p "$drive/kstest/$title/outside"
    else
        base="$drive/kstest/$title/folder-links" target=../target name=linked
    fi
    # rm does not follow the link it removes.
    rm -rf "$base"
    mkdir -p "$base/tree"
    [ $guard = 1 ] || mkdir -p "$base/target"
    ln -s "$target" "$base/tree/$name"
done

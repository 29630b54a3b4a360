#!/usr/bin/env bash
# Prepares folder links inside the test prefix for the link-safety tests. Wine cannot
# make junctions or folder symbolic links itself (CreateSymbolicLinkA answers TRUE and
# makes nothing; FSCTL_SET_REPARSE_POINT fails with 50), but it reports a Unix symbolic
# link to a folder as a folder with FILE_ATTRIBUTE_REPARSE_POINT.
#
#   folder_links.sh <state-dir> <program-title>...
#
# For each test program: C:\kstest\<title>\folder-links\target (a folder) and
# C:\kstest\<title>\folder-links\tree\linked, a relative link to ..\target that stays
# inside the prefix.
set -euo pipefail

state=$(cd "${1:?usage: folder_links.sh <state-dir> <program-title>...}" && pwd)
shift
drive="$state/prefix/drive_c"
[ -d "$drive" ] || { echo "folder_links: no test prefix in $state" >&2; exit 1; }

for title in "$@"; do
    case "$title" in
        ""|*/*|.*) echo "folder_links: unusable program title '$title'" >&2; exit 1 ;;
    esac
    base="$drive/kstest/$title/folder-links"
    # rm does not follow the link it removes.
    rm -rf "$base"
    mkdir -p "$base/target" "$base/tree"
    ln -s ../target "$base/tree/linked"
done

#!/usr/bin/env bash
# Formats every .h/.cpp of the tree in place with the house style
# (.clang-format at the top of the tree). With --check nothing is written:
# it names the files that are not formatted and exits with 1 if there are any.
# Build folders and other untracked files are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac

# The style is pinned to one version: another clang-format may lay out the
# same code differently.
formatter=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null && "$candidate" --version | grep -q 'version 14\.'; then
    formatter=$candidate
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "clang-format 14 was not found: install the Debian package clang-format (scripts/install-deps.sh does)" >&2
  exit 1
fi

# The files git knows of, so that build folders and scratch files are never touched.
mapfile -d '' listed < <(git ls-files -z --cached --others --exclude-standard -- '*.h' '*.cpp')
files=()
for f in "${listed[@]}"; do
  [ -f "$f" ] && files+=("$f")  # a file deleted but not yet committed is not listed
done

if [ $check -eq 0 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -r "$formatter" -i --style=file
  exit 0
fi

unformatted=()
for f in "${files[@]}"; do
  "$formatter" --style=file --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -ne 0 ]; then
  printf 'not formatted: %s\n' "${unformatted[@]}"
  echo "${#unformatted[@]} file(s) not formatted: run scripts/format.sh"
  exit 1
fi
echo "every file is formatted"

#!/usr/bin/env bash
# Checks that the C and C++ lines changed on this branch follow .clang-format; other lines are
# left as they are. The branch is compared with where it left main (origin/main, else main); on
# main itself, or on a clone that has no other branch, the last commit is checked. Prints the
# changes clang-format wants and fails when there are any.
#   scripts/check-format.sh [BASE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
base=${1:-}
if [ -z "$base" ]; then
  for branch in origin/main main; do
    if git rev-parse -q --verify "$branch^{commit}" >/dev/null; then
      base=$(git merge-base HEAD "$branch" || true)
      break
    fi
  done
  if [ -z "$base" ] || [ "$base" = "$(git rev-parse HEAD)" ]; then
    base=$(git rev-parse -q --verify 'HEAD~1^{commit}' || true)
  fi
fi
if [ -z "$base" ]; then
  echo "check-format: a single commit and no main branch; nothing to compare with"
  exit 0
fi
formatter=$(command -v git-clang-format-14 || command -v git-clang-format || true)
if [ -z "$formatter" ]; then
  echo "check-format: git-clang-format is missing (bash scripts/install-deps.sh --tests)" >&2
  exit 1
fi
# Only C and C++: the report's scripts and styles have their own checks.
changes=$("$formatter" --binary "$(command -v clang-format-14 || command -v clang-format)" --diff \
  --extensions c,h,cc,cpp,hpp "$base" -- 2>&1 || true)
if grep -q '^diff --git' <<<"$changes"; then
  echo "$changes"
  echo "check-format: the lines above, changed since $(git rev-parse --short "$base"), differ from .clang-format" >&2
  exit 1
fi
echo "check-format: lines changed since $(git rev-parse --short "$base") follow .clang-format"

#!/usr/bin/env bash
# Every tracked C and C++ source is formatted as .clang-format says; the
# stage lists the files that are not and how to mend them. Then the test
# lines against the rest (scripts/line-count.sh): at most a third.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."

mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
  printf 'not formatted: %s\n' "${bad[@]}"
  echo "mend with: clang-format -i ${bad[*]}"
  exit 1
fi
echo "format: ${#files[@]} files formatted"
bash scripts/line-count.sh

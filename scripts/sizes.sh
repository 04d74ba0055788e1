#!/usr/bin/env bash
# Counts lines of program code and of tests plus fuzzers, the way review does:
# C++ sources and headers known to git (untracked but not ignored ones too, so
# the figure is right before a commit), leaving out blank lines and lines that
# are only a // comment. Prints a line per folder, then the totals and the
# ratio tests/code; exits 1 when the ratio is above the bound.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bound=0.40

declare -A code_lines=() test_lines=()
code_total=0
test_total=0

while IFS= read -r file; do
  [ -f "$file" ] || continue  # deleted in the working tree, not yet staged
  # Lines that are neither blank nor only a // comment. grep -c prints 0 but
  # fails when there is none, hence the || true.
  n=$(grep -c -v -E '^\s*(//.*)?$' "$file" || true)
  if [[ $file =~ (^|/)(tests?|fuzz)/ ]]; then
    # Tests go under their folder, down to one level below tests/ or fuzz/:
    # tests/receiver/x.cpp -> tests/receiver, tests/x.cpp -> tests.
    folder=$(sed -E 's#^((.*/)?(tests?|fuzz))/([^/]+/)?[^/]+$#\1/\4#; s#/$##' <<<"$file")
    test_lines[$folder]=$(( ${test_lines[$folder]:-0} + n ))
    test_total=$((test_total + n))
  elif [[ $file =~ (^|/)bench/ ]]; then
    continue  # benchmarks are neither program code nor tests
  else
    # Program code goes under its top folder: common, sender, receiver.
    folder=${file%%/*}
    [ "$folder" = "$file" ] && folder="(top)"
    code_lines[$folder]=$(( ${code_lines[$folder]:-0} + n ))
    code_total=$((code_total + n))
  fi
done < <(git ls-files --cached --others --exclude-standard \
           | grep -E '\.(cpp|h|hpp|cc)$' | sort -u)

for folder in $(printf '%s\n' "${!code_lines[@]}" | sort); do
  printf 'code   %-16s %6d\n' "$folder" "${code_lines[$folder]}"
done
for folder in $(printf '%s\n' "${!test_lines[@]}" | sort); do
  printf 'tests  %-16s %6d\n' "$folder" "${test_lines[$folder]}"
done

if [ "$code_total" -eq 0 ]; then
  echo "no program code found" >&2
  exit 2
fi
ratio=$(awk -v t="$test_total" -v c="$code_total" 'BEGIN { printf "%.2f", t / c }')
echo "program code: $code_total lines; tests and fuzzers: $test_total lines; ratio $ratio (bound $bound)"

# The exact quotient, not the rounded one, is held against the bound.
if awk -v t="$test_total" -v c="$code_total" -v b="$bound" 'BEGIN { exit !(t / c > b) }'; then
  exit 1
fi
exit 0

#!/usr/bin/env bash
# Fails when the shipped catalogues (translations/*.ts) are stale or
# unfinished: lupdate, run over both programs' sources into a copy, must find
# exactly the texts they hold, each with its translation.
#   scripts/check_translations.sh [LUPDATE]           check
#   scripts/check_translations.sh [LUPDATE] --update  bring the catalogues up to date
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=/usr/lib/qt6/bin/lupdate
update=0
for arg; do
  case $arg in
    --update) update=1 ;;
    *) lupdate=$arg ;;
  esac
done
scan=(-no-obsolete -locations none "$root/common" "$root/sender" "$root/receiver")
[ $update -eq 1 ] && exec "$lupdate" "${scan[@]}" -ts "$root"/translations/*.ts

copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp "$root"/translations/*.ts "$copy/"
"$lupdate" -silent "${scan[@]}" -ts "$copy"/*.ts

status=0
for shipped in "$root"/translations/*.ts; do
  fresh=$copy/$(basename "$shipped")
  if grep -q 'type="unfinished"' "$fresh"; then
    echo "$(basename "$shipped"): unfinished or new texts:" >&2
    grep -B2 'type="unfinished"' "$fresh" | grep '<source>' >&2 || true
    status=1
  fi
  if ! cmp -s "$shipped" "$fresh"; then
    echo "$(basename "$shipped") is stale (texts added, changed or gone):" >&2
    diff "$shipped" "$fresh" | grep '^[<>].*<source>' >&2 || true
    status=1
  fi
done
[ $status -eq 0 ] || echo "Update with scripts/check_translations.sh --update, then translate." >&2
exit $status

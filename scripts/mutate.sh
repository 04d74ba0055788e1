#!/usr/bin/env bash
# Mutation check: changes the sources one small step at a time (the mutants
# listed in scripts/mutants.txt), rebuilds, runs the fast tests and reports
# which mutants no test notices. A surviving mutant is a behaviour no test
# guards; a stale one no longer matches the sources and must be rewritten.
#
#   scripts/mutate.sh                    every mutant in the list
#   scripts/mutate.sh ID...              only these mutants
#   scripts/mutate.sh --only REGEX       only the mutants whose id matches
#   scripts/mutate.sh --list             print the list and any stale entry,
#                                        build nothing
#   scripts/mutate.sh --build-dir DIR    build folder (default build/mutate)
#   scripts/mutate.sh --compare OLD NEW  mutants a test killed in OLD but not
#                                        in NEW (two mutants-result.txt files)
#
# Environment:
#   MUTATE_LIST        the list (default scripts/mutants.txt)
#   MUTATE_CTEST_ARGS  which tests to run (default: -LE fuzz|stress|fault|e2e|slow)
#   MUTATE_JOBS        parallel build jobs and tests (default: number of cores)
#
# Exits 0 when every mutant was killed, 1 when one survived or is stale,
# 2 on a usage or list error or a failing unmutated baseline, 3 when a source
# could not be put back (the original is then kept in the build folder).
set -euo pipefail
set +m  # no job control: run_child's setsid then starts its group without forking
source "$(dirname "${BASH_SOURCE[0]}")/deps.sh"  # QUILL_ROOT, quill_build

list=${MUTATE_LIST:-$QUILL_ROOT/scripts/mutants.txt}
build=$QUILL_ROOT/build/mutate
jobs=${MUTATE_JOBS:-$(nproc)}
default_select='-LE fuzz|stress|fault|e2e|slow'
read -ra ctest_select <<<"${MUTATE_CTEST_ARGS:-$default_select}"

die() { echo "mutate: $*" >&2; exit 2; }

# ---------------------------------------------------------------------------
# The list. Each mutant starts with an "id:" line followed by "key: value"
# lines; see the top of mutants.txt. Values are taken literally, so C++ text
# with | \ " or # needs no escaping.

m_id=() m_file=() m_find=() m_replace=() m_occ=() m_note=() m_line=()

parse_list() {
  local file=$1 line key value n=0 i=-1
  [ -f "$file" ] || die "no list at $file"
  while IFS= read -r line || [ -n "$line" ]; do
    n=$((n + 1))
    [[ -z ${line//[[:space:]]/} || $line == '#'* ]] && continue
    [[ $line =~ ^([a-z]+\+?):\ ?(.*)$ ]] || die "$file:$n: expected 'key: value'"
    key=${BASH_REMATCH[1]}
    value=${BASH_REMATCH[2]}
    value=${value%"${value##*[![:space:]]}"}  # editors strip trailing blanks anyway
    if [ "$key" = id ]; then
      i=$((i + 1))
      m_id[i]=$value m_line[i]=$n m_file[i]="" m_occ[i]="" m_note[i]=""
      unset 'm_find[i]' 'm_replace[i]'
      continue
    fi
    [ "$i" -ge 0 ] || die "$file:$n: '$key:' before the first 'id:'"
    case $key in
      file) m_file[i]=$value ;;
      find) m_find[i]=$value ;;
      replace) m_replace[i]=$value ;;
      # A continuation line adds a line break and its text.
      find+) [ -n "${m_find[i]+set}" ] || die "$file:$n: 'find+:' without 'find:'"
             m_find[i]+=$'\n'$value ;;
      replace+) [ -n "${m_replace[i]+set}" ] || die "$file:$n: 'replace+:' without 'replace:'"
                m_replace[i]+=$'\n'$value ;;
      occurrence) m_occ[i]=$value ;;
      note) m_note[i]=$value ;;
      *) die "$file:$n: unknown key '$key'" ;;
    esac
  done <"$file"

  # Mistakes in the list stop everything: they are not results.
  local seen=" " where
  for i in "${!m_id[@]}"; do
    where="$file:${m_line[i]}"
    [[ ${m_id[i]} =~ ^[A-Za-z0-9._-]+$ ]] || die "$where: id '${m_id[i]}' may only hold letters, digits, . _ -"
    [[ $seen == *" ${m_id[i]} "* ]] && die "$where: id '${m_id[i]}' is used twice"
    seen+="${m_id[i]} "
    [ -n "${m_file[i]}" ] || die "$where: no 'file:'"
    [[ ${m_file[i]} == /* || ${m_file[i]} == *..* ]] && die "$where: give the file from the top of the repository"
    [ -n "${m_find[i]:-}" ] || die "$where: no 'find:' text"
    [ -n "${m_replace[i]+set}" ] || die "$where: no 'replace:' line (it may be empty, to delete the text)"
    [ "${m_find[i]}" != "${m_replace[i]}" ] || die "$where: 'replace:' is the same as 'find:'"
    [[ -z ${m_occ[i]} || ${m_occ[i]} =~ ^[1-9][0-9]*(\ of\ [1-9][0-9]*)?$ ]] \
      || die "$where: occurrence is 'K' or 'K of N'"
  done
}

# ---------------------------------------------------------------------------
# Finding and changing the text, literally (perl's index, no patterns).

# Prints how many times the text in $MUTATE_FIND occurs in a file
# (non-overlapping, from the start).
count_text() {
  perl -0777 -ne '
    my ($find, $n, $at) = ($ENV{MUTATE_FIND}, 0, 0);
    while (($at = index($_, $find, $at)) >= 0) { $n++; $at += length $find; }
    print "$n\n";' "$1"
}

# Replaces the K-th occurrence of $MUTATE_FIND in a file with $MUTATE_REPLACE.
replace_text() {
  MUTATE_NTH=$2 perl -0777 -i -pe '
    my ($find, $at, $from) = ($ENV{MUTATE_FIND}, -1, 0);
    for my $k (1 .. $ENV{MUTATE_NTH}) {
      $at = index($_, $find, $from);
      die "text not found\n" if $at < 0;
      $from = $at + length $find;
    }
    substr($_, $at, length $find) = $ENV{MUTATE_REPLACE};' "$1"
}

# Prints which occurrence to change, or "STALE <reason>" when the text does
# not match the list any more (a rename must not quietly pass the check).
pick_occurrence() {
  local i=$1 path=$QUILL_ROOT/${m_file[$1]} count want total
  if [ ! -f "$path" ]; then
    echo "STALE no file ${m_file[i]}"
    return
  fi
  count=$(MUTATE_FIND=${m_find[i]} count_text "$path")
  want=${m_occ[i]%% of *}
  total=${m_occ[i]#* of }
  if [ "$count" -eq 0 ]; then
    echo "STALE text not found"
  elif [ -z "${m_occ[i]}" ]; then
    if [ "$count" -eq 1 ]; then echo 1; else echo "STALE text found $count times, no occurrence given"; fi
  elif [[ ${m_occ[i]} == *" of "* && $count -ne $total ]]; then
    echo "STALE text found $count times, list says $total"
  elif [ "$count" -lt "$want" ]; then
    echo "STALE text found $count times, occurrence $want wanted"
  else
    echo "$want"
  fi
}

# ---------------------------------------------------------------------------
# Putting sources back. While a mutant is applied, its file's original and the
# mutated text are kept in the build folder, so that even a run killed outright
# can be repaired by the next one.

active=""  # set in main: $build/mutant-applied
child=""   # the build or test run in progress

# Copies the original back and checks it byte for byte. The copy gets a new
# modification time, so Ninja rebuilds what was compiled from the mutant.
restore() {
  [ -n "$active" ] && [ -f "$active/path" ] || return 0
  local rel
  rel=$(cat "$active/path")
  cp -- "$active/original" "$QUILL_ROOT/$rel" 2>/dev/null || true
  if ! cmp -s -- "$active/original" "$QUILL_ROOT/$rel"; then
    echo "mutate: could NOT restore $rel; its original is $active/original" >&2
    return 3
  fi
  rm -rf -- "$active"
}

# A run that was killed may have left a mutant applied: put it back if the
# file still holds exactly the mutant (or the original already). Files an
# interrupted run restored are touched, to be compiled afresh.
recover() {
  if [ -f "$build/interrupted-sources" ]; then
    (cd "$QUILL_ROOT" && xargs -r touch -c -- <"$build/interrupted-sources")
    rm -f -- "$build/interrupted-sources"
  fi
  [ -f "$active/path" ] || return 0
  local rel
  rel=$(cat "$active/path")
  if cmp -s -- "$active/mutated" "$QUILL_ROOT/$rel" || cmp -s -- "$active/original" "$QUILL_ROOT/$rel"; then
    echo "mutate: an earlier run left $rel mutated; restoring it"
    restore || exit 3
  else
    echo "mutate: an earlier run left $active, and $rel has changed since;" >&2
    echo "        compare it with $active/original, then delete $active" >&2
    exit 3
  fi
}

# Runs a command in a session of its own with its output in a log, so that an
# interrupt can stop it with everything it started (compiler, tests).
run_child() {
  local log=$1 rc=0
  shift
  setsid "$@" >>"$log" 2>&1 </dev/null &
  child=$!
  wait "$child" || rc=$?
  child=""
  return "$rc"
}

# Stops the build or test run: a polite signal, ten seconds, then a hard one.
# The leader is reaped only at the end, so its group id cannot be reused.
stop_child() {
  [ -n "$child" ] || return 0
  kill -TERM -- "-$child" 2>/dev/null || true
  local state _
  for _ in $(seq 50); do
    state=$(sed 's/.*) //; s/ .*//' "/proc/$child/stat" 2>/dev/null || echo gone)
    [[ $state == Z || $state == gone ]] && break
    sleep 0.2
  done
  kill -KILL -- "-$child" 2>/dev/null || true
  wait "$child" 2>/dev/null || true
  child=""
}

on_signal() {
  trap '' INT TERM HUP  # a second Ctrl+C must not cut the restore short
  local status=$1
  echo >&2
  stop_child
  # A compiler that outlived the build could still write an object of the
  # mutant; the next run touches this file so that object is rebuilt.
  [ -n "$active" ] && [ -f "$active/path" ] && cat "$active/path" >>"$build/interrupted-sources"
  if restore; then
    echo "mutate: interrupted; sources are as they were" >&2
  else
    status=3
  fi
  exit "$status"
}

on_exit() {
  local status=$?
  stop_child
  restore || status=3
  exit "$status"
}

# ---------------------------------------------------------------------------
# Results

# Prints the tests ctest's log names as failed, comma-separated; a test that
# failed other than by its own verdict (Timeout, SEGFAULT, ...) says so.
failed_tests() {
  sed -n '/^The following tests FAILED:/,$p' "$1" \
    | sed -nE 's/^[[:space:]]+[0-9]+ - ([^ ]+) \(([^)]*)\).*$/\1|\2/p' \
    | awk -F'|' '{ printf "%s%s%s", (NR > 1 ? "," : ""), $1, ($2 == "Failed" ? "" : "(" $2 ")") }'
}

r_id=() r_result=() r_by=() r_note=()

print_table() {
  local w_id=2 w_by=9 i
  for i in "${!r_id[@]}"; do
    ((${#r_id[i]} > w_id)) && w_id=${#r_id[i]}
    ((${#r_by[i]} > w_by)) && w_by=${#r_by[i]}
  done
  printf "%-${w_id}s  %-14s  %-${w_by}s  %s\n" id result killed-by note
  for i in "${!r_id[@]}"; do
    printf "%-${w_id}s  %-14s  %-${w_by}s  %s\n" "${r_id[i]}" "${r_result[i]}" "${r_by[i]}" "${r_note[i]}"
  done
}

# The results as tab-separated lines, the same from run to run for the same
# outcome, so two runs can be diffed or compared with --compare.
write_results() {
  local i
  {
    printf '# id\tresult\tkilled-by\tnote\n'
    for i in "${!r_id[@]}"; do
      printf '%s\t%s\t%s\t%s\n' "${r_id[i]}" "${r_result[i]}" "${r_by[i]}" "${r_note[i]}"
    done
  } >"$1"
}

# Mutants a test killed in the old results and none in the new: guards lost.
# A mutant only the compiler rejected guarded nothing, so it cannot be lost.
compare() {
  local old=$1 new=$2
  [ -f "$old" ] || die "no file $old"
  [ -f "$new" ] || die "no file $new"
  awk -F'\t' '
    /^#/ { next }
    FNR == NR { order[++count] = $1; result[$1] = $2; by[$1] = $3; next }
    { newresult[$1] = $2; newby[$1] = $3 }
    END {
      for (m = 1; m <= count; m++) {
        id = order[m]
        if (result[id] != "KILLED") continue
        if (!(id in newresult)) {
          printf "LOST  %s: killed by %s, not in the new results\n", id, by[id]; lost++
        } else if (newresult[id] != "KILLED") {
          printf "LOST  %s: killed by %s, now %s\n", id, by[id], newresult[id]; lost++
        } else {
          # Still killed; say which tests stopped noticing it.
          n = split(by[id], t, ","); gone = ""
          for (k = 1; k <= n; k++)
            if (index("," newby[id] ",", "," t[k] ",") == 0) gone = gone (gone ? "," : "") t[k]
          if (gone) printf "fewer %s: still killed by %s, no longer by %s\n", id, newby[id], gone
        }
      }
      printf "%d mutant(s) killed by tests before and not after\n", lost
      exit lost > 0
    }' "$old" "$new"
}

# ---------------------------------------------------------------------------

usage() { sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; }

main() {
  local only="" do_list=0 ids=() i
  while [ $# -gt 0 ]; do
    case $1 in
      --only) [ $# -ge 2 ] || die "--only needs a pattern"; only=$2; shift 2 ;;
      --list) do_list=1; shift ;;
      --build-dir) [ $# -ge 2 ] || die "--build-dir needs a folder"; build=$(realpath -m -- "$2"); shift 2 ;;
      --compare) [ $# -eq 3 ] || die "--compare needs two result files"; compare "$2" "$3"; return ;;
      -h|--help) usage; return 0 ;;
      -*) die "unknown option $1 (see --help)" ;;
      *) ids+=("$1"); shift ;;
    esac
  done

  parse_list "$list"

  # Which mutants to run.
  local chosen=() id found
  for id in "${ids[@]}"; do
    found=0
    for i in "${!m_id[@]}"; do [ "${m_id[i]}" = "$id" ] && found=1; done
    [ "$found" -eq 1 ] || die "no mutant '$id' in $list"
  done
  for i in "${!m_id[@]}"; do
    if [ ${#ids[@]} -gt 0 ] && [[ " ${ids[*]} " != *" ${m_id[i]} "* ]]; then continue; fi
    if [ -n "$only" ] && ! [[ ${m_id[i]} =~ $only ]]; then continue; fi
    chosen+=("$i")
  done
  [ ${#chosen[@]} -gt 0 ] || die "no mutant chosen"

  # The list, checked against the sources without building anything: a quick
  # way to find stale entries after editing the list or renaming code.
  if [ "$do_list" -eq 1 ]; then
    local nl=$'\n' indent=$'\n             ' stale=0 pick  # continuation lines line up
    for i in "${chosen[@]}"; do
      printf '%s  %s%s  %s\n' "${m_id[i]}" "${m_file[i]}" "${m_occ[i]:+ (occurrence ${m_occ[i]})}" "${m_note[i]}"
      printf '    find:    %s\n' "${m_find[i]//$nl/$indent}"
      printf '    replace: %s\n' "${m_replace[i]//$nl/$indent}"
      pick=$(pick_occurrence "$i")
      if [[ $pick == STALE* ]]; then
        echo "    STALE: ${pick#STALE }"
        stale=$((stale + 1))
      fi
    done
    echo "${#chosen[@]} mutant(s), $stale stale"
    [ "$stale" -eq 0 ]
    return
  fi

  active=$build/mutant-applied
  local logs=$build/mutants-log
  mkdir -p "$logs"
  trap 'on_signal 130' INT
  trap 'on_signal 143' TERM
  trap 'on_signal 129' HUP
  trap on_exit EXIT
  recover

  # A failing test runs once more: only a failure that repeats kills the
  # mutant, so a timing test that trips under load does not hide a survivor.
  local ctest_cmd=(ctest --test-dir "$build" "${ctest_select[@]}" --parallel "$jobs"
                   --timeout 60 --repeat until-pass:2 --no-tests=error --output-on-failure)
  echo "tests: ${ctest_cmd[*]}"

  # A mutation check on a red suite means nothing: build and test unmutated.
  local start=$SECONDS t0
  quill_install_deps
  echo "baseline: building $build"
  : >"$logs/baseline.log"
  quill_build "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILL_BENCH=OFF -DQUILL_FUZZ=OFF \
    -DQUILL_SANITIZE=OFF >>"$logs/baseline.log" 2>&1 \
    || { tail -20 "$logs/baseline.log"; die "baseline: the unmutated sources do not build (log: $logs/baseline.log)"; }
  t0=$SECONDS
  if ! run_child "$logs/baseline.log" "${ctest_cmd[@]}"; then
    local failed
    failed=$(failed_tests "$logs/baseline.log")
    if [ -n "$failed" ]; then echo "failed: $failed" >&2; else tail -5 "$logs/baseline.log" >&2; fi
    die "baseline: the fast tests fail without any mutant; fix them first (log: $logs/baseline.log)"
  fi
  echo "baseline: tests pass ($((SECONDS - t0)) s)"

  local n=0 total=${#chosen[@]} pick path result by tb tt
  for i in "${chosen[@]}"; do
    n=$((n + 1))
    id=${m_id[i]}
    path=$QUILL_ROOT/${m_file[i]}
    local log=$logs/$id.log
    : >"$log"
    pick=$(pick_occurrence "$i")
    tb=0 tt=0
    if [[ $pick == STALE* ]]; then
      result=STALE by="(${pick#STALE })"
    else
      # Original and mutant are both kept before the file is touched, so at
      # any moment the file holds one of them and restore knows which is which.
      mkdir -p "$active"
      cp -- "$path" "$active/original"
      cp -- "$path" "$active/mutated"
      MUTATE_FIND=${m_find[i]} MUTATE_REPLACE=${m_replace[i]} replace_text "$active/mutated" "$pick"
      printf '%s\n' "${m_file[i]}" >"$active/path"
      cp -- "$active/mutated" "$path"
      git -C "$QUILL_ROOT" diff --no-color -- "${m_file[i]}" >>"$log" 2>&1 || true

      t0=$SECONDS
      if ! run_child "$log" cmake --build "$build" --parallel "$jobs"; then
        tb=$((SECONDS - t0))
        result="KILLED (build)" by="(compiler)"
      else
        tb=$((SECONDS - t0)) t0=$SECONDS
        if run_child "$log" "${ctest_cmd[@]}"; then
          result=SURVIVED by="-"
        else
          result=KILLED by=$(failed_tests "$log")
          [ -n "$by" ] || by="(ctest failed; see log)"
        fi
        tt=$((SECONDS - t0))
      fi
      restore || exit 3
    fi
    r_id+=("$id") r_result+=("$result") r_by+=("$by") r_note+=("${m_note[i]}")
    printf '[%d/%d] %-24s %-14s %s' "$n" "$total" "$id" "$result" "$by"
    [ "$result" = STALE ] && echo || echo "  (build $tb s, tests $tt s)"
  done

  local killed=0 survived=0 stale=0 build_killed=0 r
  for r in "${r_result[@]}"; do
    case $r in
      KILLED) killed=$((killed + 1)) ;;
      SURVIVED) survived=$((survived + 1)) ;;
      STALE) stale=$((stale + 1)) ;;
      "KILLED (build)") build_killed=$((build_killed + 1)) ;;
    esac
  done

  echo
  print_table
  echo
  echo "killed $killed, survived $survived, stale $stale, killed by the compiler $build_killed; $((SECONDS - start)) s"
  [ "$build_killed" -eq 0 ] || echo "KILLED (build): the mutant did not compile, so it checks no test; make it compile."
  [ "$stale" -eq 0 ] || echo "STALE: the text is not in the file as listed; update the list."
  write_results "$build/mutants-result.txt"
  echo "results: $build/mutants-result.txt (logs: $logs)"
  [ "$survived" -eq 0 ] && [ "$stale" -eq 0 ]
}

main "$@"

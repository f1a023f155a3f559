#!/usr/bin/env bash
# Samples mutants on the lines a change touched and tells how many the tests kill.
#
#   scripts/mutation-sample.sh [BASE] [-n N] [--seed S] [--list] [--timeout SECONDS] [-j JOBS] [-- PATH...]
#
# BASE (a commit; by default the merge base with origin/main, or HEAD~1 where there is none):
# the lines added or changed since BASE (git diff -U0 BASE, committed or not) in the C++ sources
# under runtime/ and tools/ are mutated one at a time with small text operators: a comparison
# flipped (== and !=, < and <=, > and >=), && and || swapped or one term of a condition dropped,
# a bound moved by one (+ 1 and - 1, a number compared against plus or minus one), a statement
# deleted. N of them (20 by default) are drawn, in an order --seed fixes. For each, the file is
# changed in place, only the test targets of its folder are rebuilt (runtime/<folder>: test_<folder>;
# tools/vlmc: test_vlmc with the translator's program suite; the platform layer, the GL plumbing and
# the packer: the tests of the folder that uses them; tools/vlmdap: the dap tests;
# tools/vlmls: the vlmls tests; tools/velmora: the velmora command tests) and their tests run through ctest with a time limit. A mutant is
# killed when a test fails or runs out of time; one that does not compile is put aside and another
# drawn in its place. At the end: the kill rate, and each survivor with its place, its line and
# the mutant's. --list only prints the mutants there are to draw from; PATHs (files or folders
# under runtime/ and tools/) narrow the lines to those of the files they name.
#
# The build tree is $BUILD_DIR (default build). Other people build in the same tree: every
# build goes through /tmp/velmora-build.lock, which is held from the change of a file to its
# restoration, so no one else's build ever sees a mutant. The git lock (/tmp/velmora-git.lock;
# VELMORA_GIT_LOCK= to go without) is held too, so no one commits one. The changed file is put back
# byte for byte, on every way out (Ctrl-C included), and the targets are built again from it
# before the lock is let go, so no mutant's objects stay behind in the tree. A file someone else
# rewrote while it held a mutant is left as they wrote it, with a warning.
# The mutant is in the source tree itself, so a build of another tree from the same sources (the
# sanitizer build, a test that compiles a program) may take it in: run such builds apart, or sample
# in a worktree of its own (git worktree add).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-build}
BUILD_LOCK=${VELMORA_BUILD_LOCK:-/tmp/velmora-build.lock}
GIT_LOCK=${VELMORA_GIT_LOCK-/tmp/velmora-git.lock}

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-0}"; }

BASE=""
COUNT=20
SEED=1
JOBS=2
LIST=0
PER_TEST=120
while (($#)); do
  case $1 in
    -n) COUNT=$2; shift 2 ;;
    --seed) SEED=$2; shift 2 ;;
    -j) JOBS=$2; shift 2 ;;
    --timeout) PER_TEST=$2; shift 2 ;;
    --list) LIST=1; shift ;;
    --) shift; break ;;
    -h|--help) usage 0 ;;
    -*) echo "mutation-sample.sh: unknown option $1" >&2; usage 2 ;;
    *) [[ -z $BASE ]] || { echo "mutation-sample.sh: one BASE only" >&2; exit 2; }; BASE=$1; shift ;;
  esac
done
[[ $COUNT =~ ^[0-9]+$ && $SEED =~ ^[0-9]+$ && $JOBS =~ ^[0-9]+$ && $PER_TEST =~ ^[0-9]+$ ]] ||
  { echo "mutation-sample.sh: -n, --seed, -j and --timeout take whole numbers" >&2; exit 2; }
if [[ -z $BASE ]]; then
  if git rev-parse -q --verify origin/main >/dev/null; then BASE=$(git merge-base HEAD origin/main)
  else BASE=HEAD~1; fi
fi
git rev-parse -q --verify "$BASE^{commit}" >/dev/null || { echo "mutation-sample.sh: $BASE is not a commit" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/mutation-sample.XXXXXX")
HELPER=$WORK/helper.py
cat >"$HELPER" <<'PYTHON'
# The text side: mutants of the changed lines, applying one, and choosing tests.
import json, os, random, re, sys

SOURCE = re.compile(r'^(runtime|tools)/.*\.(cpp|cc|h|hpp)$')

# The platform layer and the GL plumbing have no tests of their own: their lines are tested
# through the folder that uses them.
PLATFORM_USERS = {
    'files_posix': 'files', 'posix_system': 'files', 'posix_memory': 'files',
    'posix_sockets': 'net', 'tls_openssl': 'net',
    'sdl_audio': 'sound', 'pcm_convert': 'sound',
    'ffmpeg_movie': 'host', 'sdl_video': 'host', 'sdl_events': 'host',
    'sdl_keys': 'input', 'sdl_joystick': 'input', 'sdl_input_extras': 'input',
    'posix_process': 'external',
}

def group_of(path):
    parts = path.split('/')
    stem = os.path.splitext(parts[-1])[0]
    if parts[:2] == ['runtime', 'platform']:
        return PLATFORM_USERS.get(stem)
    if parts[:2] == ['runtime', 'gl']:
        return 'gfx2d'
    if parts[0] == 'runtime' and len(parts) > 2:
        return parts[1]
    # The packer's tests run the real program from the files tests.
    if parts[:2] == ['tools', 'lib'] or path == 'tools/vlmpack.cpp':
        return 'files'
    if parts[0] == 'tools' and len(parts) > 2 and parts[1] in ('vlmc', 'vlmdap', 'vlmls', 'json', 'velmora'):
        return {'vlmdap': 'dap'}.get(parts[1], parts[1])
    return None

def changed_lines(diff):
    """{path: set of new-side line numbers} from a -U0 diff."""
    out, path = {}, None
    for line in diff.splitlines():
        if line.startswith('+++ '):
            path = line[6:] if line.startswith('+++ b/') else None
        elif line.startswith('@@') and path:
            m = re.match(r'@@ -\S+ \+(\d+)(?:,(\d+))? @@', line)
            start, n = int(m.group(1)), int(m.group(2) or '1')
            out.setdefault(path, set()).update(range(start, start + n))
    return out

def masks(lines):
    """Each line with comments and the insides of literals blanked, same length."""
    out, block = [], False
    for text in lines:
        m, k, quote = [], 0, None
        while k < len(text):
            c = text[k]
            if block:
                if text.startswith('*/', k):
                    block = False
                    m.append('  ')
                    k += 2
                    continue
                m.append(' ')
            elif quote:
                if c == '\\':
                    m.append('  ' if k + 1 < len(text) else ' ')
                    k += 2
                    continue
                m.append(c if c == quote else ' ')
                if c == quote:
                    quote = None
            elif text.startswith('//', k):
                m.append(' ' * (len(text) - k))
                break
            elif text.startswith('/*', k):
                block = True
                m.append('  ')
                k += 2
                continue
            elif c in '"\'' and not (c == "'" and k > 0 and text[k - 1].isalnum() and k + 1 < len(text) and text[k + 1].isdigit()):
                quote = c
                m.append(c)
            else:
                m.append(c)
            k += 1
        out.append(''.join(m)[:len(text)])
    return out

OPEN, CLOSE = '([{', ')]}'
STOPS = ('&&', '||', '?', ',', ';')

def is_colon(code, k):
    return code[k] == ':' and code[k - 1:k] != ':' and code[k + 1:k + 2] != ':'

def right_operand_end(code, k):
    depth = 0
    while k < len(code):
        c = code[k]
        if c in OPEN: depth += 1
        elif c in CLOSE:
            if depth == 0: return k
            depth -= 1
        elif depth == 0 and (code.startswith(STOPS, k) or is_colon(code, k)):
            return k
        k += 1
    return k

def left_operand_start(code, k):
    depth = 0
    while k > 0:
        c = code[k - 1]
        if c in CLOSE: depth += 1
        elif c in OPEN:
            if depth == 0: return k
            depth -= 1
        elif depth == 0:
            head = code[:k]
            if head.endswith(STOPS) or is_colon(code, k - 1) or re.search(r'(^|\W)return $', head) or \
                    re.search(r'[^=!<>+\-*/%&|^]= $', head):
                return k
        k -= 1
    return k

DECLARATION = re.compile(r'^(?:(?:const|static|constexpr|inline|thread_local|volatile|mutable|extern|unsigned|signed|long|short)\s+)*'
                         r'[A-Za-z_][\w:]*(?:<.*>)?[\s*&]+[*&]*[A-Za-z_]\w*\s*(?:=|;|\{|\(|\[|,)')
NOT_STATEMENTS = ('return', 'case ', 'default:', 'public:', 'private:', 'protected:', '}', '#', 'template', 'using ', 'typedef ',
                  'namespace ', 'friend ', 'static_assert', 'else')

def mutants_of(lines, code, n):
    """(operator, mutated line) for line n (1-based)."""
    text, c = lines[n - 1], code[n - 1]
    found = []
    stripped = c.strip()
    if not stripped or stripped.startswith('#'):
        return found
    def put(op, a, b, new):
        found.append((op, text[:a] + new + text[b:]))
    flip = {'==': '!=', '!=': '==', '<': '<=', '<=': '<', '>': '>=', '>=': '>'}
    for m in re.finditer(r'(?<=\s)(==|!=|<=|>=|<|>)(?=\s)', c):
        put('comparison', m.start(), m.end(), flip[m.group(1)])
    for m in re.finditer(r'(?<=\s)(&&|\|\|)(?=\s)', c):
        put('logic', m.start(), m.end(), '||' if m.group(1) == '&&' else '&&')
        end = right_operand_end(c, m.end())
        if c[m.end():end].strip():
            put('drop-term', m.start() - 1, end, '')
        start = left_operand_start(c, m.start())
        while start < m.start() and c[start] == ' ': start += 1
        if c[start:m.start()].strip():
            put('drop-term', start, m.end() + 1, '')
    for m in re.finditer(r'(?<=\s)([+-]) (\d+)\b(?![.\w\'])', c):
        put('bound', m.start(1), m.end(1), '-' if m.group(1) == '+' else '+')
    for m in re.finditer(r'(?<=\s)(?:==|!=|<=|>=|<|>) (-?\d+)\b(?![.\w\'])', c):
        value = int(m.group(1))
        for moved in (value + 1, value - 1):
            put('bound', m.start(1), m.end(1), str(moved))
    # A statement of its own line: after the end of another, not a declaration.
    if stripped.endswith(';') and '{' not in stripped and not stripped.startswith(NOT_STATEMENTS) \
            and not DECLARATION.match(stripped) and stripped.count('(') == stripped.count(')'):
        before = n - 2
        while before >= 0 and not code[before].strip():
            before -= 1
        if before < 0 or code[before].rstrip().endswith((';', '{', '}', ':')):
            found.append(('delete', ''))
    return found

def generate(base_diff_file, seed, out):
    diff = open(base_diff_file, encoding='utf-8', errors='replace').read()
    mutants = []
    for path, numbers in sorted(changed_lines(diff).items()):
        if not SOURCE.match(path) or not os.path.isfile(path):
            continue
        lines = open(path, encoding='utf-8', errors='surrogateescape').read().split('\n')
        code = masks(lines)
        for n in sorted(numbers):
            if n > len(lines):
                continue
            for op, new in mutants_of(lines, code, n):
                if new != lines[n - 1]:
                    mutants.append({'file': path, 'line': n, 'op': op, 'group': group_of(path),
                                    'original': lines[n - 1], 'mutant': new})
    random.Random(seed).shuffle(mutants)
    with open(out, 'w') as f:
        json.dump(mutants, f)
    print(len(mutants))

def show(mutants_file, k, field):
    m = json.load(open(mutants_file))[int(k)]
    sys.stdout.write(str(m[field]) + '\n')

def listing(mutants_file):
    for m in json.load(open(mutants_file)):
        print('%s:%d [%s, tests: %s]\n  - %s\n  + %s' % (m['file'], m['line'], m['op'], m['group'] or 'none',
                                                      m['original'].strip(), m['mutant'].strip()))

def apply(mutants_file, k, out):
    """The mutated file's bytes into out; fails when the line is no longer the one drawn."""
    m = json.load(open(mutants_file))[int(k)]
    raw = open(m['file'], 'rb').read().decode('utf-8', errors='surrogateescape').split('\n')
    if len(raw) < m['line'] or raw[m['line'] - 1] != m['original']:
        sys.exit(1)
    raw[m['line'] - 1] = m['mutant']
    open(out, 'wb').write('\n'.join(raw).encode('utf-8', errors='surrogateescape'))

def unapply(mutants_file, k):
    """Takes the mutant out of a file someone else rewrote meanwhile, where its line is still
    found once; fails where it is not."""
    m = json.load(open(mutants_file))[int(k)]
    raw = open(m['file'], 'rb').read().decode('utf-8', errors='surrogateescape').split('\n')
    places = [n for n, text in enumerate(raw) if text == m['mutant']]
    if not m['mutant'].strip() or len(places) != 1:
        sys.exit(1)
    raw[places[0]] = m['original']
    open(m['file'], 'wb').write('\n'.join(raw).encode('utf-8', errors='surrogateescape'))

def select(ctest_json, executables):
    """A ctest regular expression for the tests that run (or name in their environment) one of the executables."""
    wanted = set(executables.split(','))
    names = []
    for t in json.load(open(ctest_json)).get('tests', []):
        words = list(t.get('command') or [])
        for p in t.get('properties', []):
            if p['name'] == 'ENVIRONMENT':
                words += [v.split('=', 1)[-1] for v in p['value']]
        pieces = [w for word in words for w in re.split(r'[;:=\s]', word)]
        if any(os.path.basename(w) in wanted for w in pieces if w):
            names.append(t['name'])
    if names:
        print('^(' + '|'.join(re.escape(n) for n in names) + ')$')

if __name__ == '__main__':
    {'generate': lambda: generate(sys.argv[2], int(sys.argv[3]), sys.argv[4]),
     'show': lambda: show(*sys.argv[2:5]), 'list': lambda: listing(sys.argv[2]),
     'apply': lambda: apply(*sys.argv[2:5]), 'unapply': lambda: unapply(*sys.argv[2:4]), 'select': lambda: select(*sys.argv[2:4])}[sys.argv[1]]()
PYTHON

# The targets a group's tests need, and the executables whose tests are the group's.
targets_of() {
  case $1 in
    vlmc) echo "test_vlmc" ;;
    dap) echo "test_dap vlmdap" ;;
    vlmls) echo "test_vlmls vlmls" ;;
    json) echo "test_dap test_vlmls" ;;
    velmora) echo "test_velmora velmora_command" ;;
    *) echo "test_$1" ;;
  esac
}
executables_of() {
  case $1 in
    vlmc) echo "test_vlmc" ;;
    dap) echo "test_dap,vlmdap" ;;
    vlmls) echo "test_vlmls,vlmls" ;;
    json) echo "test_dap,test_vlmls" ;;
    velmora) echo "test_velmora,velmora" ;;
    *) echo "test_$1" ;;
  esac
}

PATHS=("$@")
((${#PATHS[@]})) || PATHS=(runtime tools)
git diff -U0 --no-color --no-ext-diff "$BASE" -- "${PATHS[@]}" >"$WORK/diff"
TOTAL=$(python3 "$HELPER" generate "$WORK/diff" "$SEED" "$WORK/mutants.json")
if ((LIST)); then
  python3 "$HELPER" list "$WORK/mutants.json"
  echo "$TOTAL mutants on the lines changed since $(git rev-parse --short "$BASE")"
  rm -rf "$WORK"
  exit 0
fi
echo "mutation-sample: $TOTAL mutants on the lines changed since $(git rev-parse --short "$BASE"); drawing $COUNT (seed $SEED)"

# ---- the locks, the mutated file and the way out
exec 9>>"$BUILD_LOCK"
if [[ -n $GIT_LOCK ]]; then exec 8>>"$GIT_LOCK"; fi
MUTATED=""   # the file now holding a mutant
MUTANT=""    # its number in mutants.json
DIRTY=""     # the targets built from it, to build again once it is put back
CHILD=""
LOCKED=0

lock() {
  flock 9
  if [[ -n $GIT_LOCK ]]; then flock 8; fi
  LOCKED=1
}
unlock() {
  if [[ -n $GIT_LOCK ]]; then flock -u 8; fi
  flock -u 9
  LOCKED=0
}

# Runs a command in the background (without the lock's descriptors) and waits, so a signal is
# handled at once; its output goes to the file $1.
run() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 8>&- 9>&- &
  CHILD=$!
  local rc=0
  wait "$CHILD" || rc=$?
  CHILD=""
  return "$rc"
}

kill_tree() {
  local pid=$1 child
  for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do kill_tree "$child"; done
  kill -TERM "$pid" 2>/dev/null || true
}

restore() {
  [[ -n $MUTATED ]] || return 0
  if cmp -s "$ROOT/$MUTATED" "$WORK/original"; then
    :  # the mutant never got written
  elif cmp -s "$ROOT/$MUTATED" "$WORK/mutant"; then
    cat "$WORK/original" >"$ROOT/$MUTATED"
  elif python3 "$HELPER" unapply "$WORK/mutants.json" "$MUTANT"; then
    echo "mutation-sample: $MUTATED was rewritten while it held a mutant: their text is kept, the mutant's line put back" >&2
  else
    echo "mutation-sample: WARNING: $MUTATED was rewritten while it held a mutant, whose line is no longer found:" \
         "left as it is; line $(python3 "$HELPER" show "$WORK/mutants.json" "$MUTANT" line) was" \
         "'$(python3 "$HELPER" show "$WORK/mutants.json" "$MUTANT" original)' (the text before the mutant is in $WORK/original)" >&2
    KEEP_WORK=1
  fi
  MUTATED=""
}

rebuild() {
  [[ -n $DIRTY ]] || return 0
  # shellcheck disable=SC2086  # the targets are words
  if ! run "$WORK/rebuild.log" cmake --build "$BUILD_DIR" -j"$JOBS" --target $DIRTY; then
    echo "mutation-sample: WARNING: building $DIRTY again from the restored sources failed (see $WORK/rebuild.log)" >&2
    KEEP_WORK=1
  fi
  DIRTY=""
}

KEEP_WORK=0
finish() {
  local rc=$?
  trap '' INT TERM HUP
  if [[ -n $CHILD ]]; then
    kill_tree "$CHILD"
    wait "$CHILD" 2>/dev/null || true
    CHILD=""
  fi
  restore
  if [[ -n $DIRTY ]]; then
    echo "mutation-sample: building $DIRTY again from the restored sources" >&2
    trap - INT TERM HUP  # a second Ctrl-C ends this too
    rebuild
  fi
  ((LOCKED)) && unlock
  if ((KEEP_WORK)); then echo "mutation-sample: notes kept in $WORK" >&2; else rm -rf "$WORK"; fi
  exit "$rc"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# ---- each group's baseline: its targets build and its tests pass without a mutant
declare -A REGEX EXCLUDE LIMIT READY
baseline() {
  local g=$1 targets
  targets=$(targets_of "$g")
  [[ -s $WORK/targets ]] || cmake --build "$BUILD_DIR" --target help >"$WORK/targets" 2>/dev/null || true
  for t in $targets; do
    if ! grep -qx "\.\.\. $t" "$WORK/targets"; then
      READY[$g]="no test target $t"
      return
    fi
  done
  echo "mutation-sample: baseline of $g: building $targets"
  lock
  # shellcheck disable=SC2086
  if ! run "$WORK/build.log" cmake --build "$BUILD_DIR" -j"$JOBS" --target $targets; then
    unlock
    echo "mutation-sample: $targets do not build without a mutant:" >&2
    tail -n 30 "$WORK/build.log" >&2
    exit 1
  fi
  (cd "$BUILD_DIR" && ctest --show-only=json-v1) >"$WORK/ctest.json"
  REGEX[$g]=$(python3 "$HELPER" select "$WORK/ctest.json" "$(executables_of "$g")")
  if [[ -z ${REGEX[$g]} ]]; then
    unlock
    READY[$g]="no tests run $(executables_of "$g")"
    return
  fi
  local started=$SECONDS rc=0
  # shellcheck disable=SC2016  # the inner shell expands its arguments
  run "$WORK/baseline.log" bash -c 'cd "$1" && ctest -R "$2" -j"$3" --timeout "$4" --output-on-failure' _ \
    "$BUILD_DIR" "${REGEX[$g]}" "$JOBS" "$PER_TEST" || rc=$?
  unlock
  local took=$((SECONDS - started))
  LIMIT[$g]=$((took * 3 + 120))
  EXCLUDE[$g]=""
  if ((rc)); then
    local failed
    failed=$(sed -En 's/^[[:space:]]*[0-9]+ - (.*) \([A-Za-z ]+\)$/\1/p' "$WORK/baseline.log" | sort -u)
    if [[ -z $failed ]]; then
      echo "mutation-sample: the tests of $g fail without a mutant, and which is not clear:" >&2
      tail -n 30 "$WORK/baseline.log" >&2
      exit 1
    fi
    echo "mutation-sample: left out, failing without a mutant: $(echo "$failed" | tr '\n' ' ')" >&2
    EXCLUDE[$g]='^('$(printf '%s\n' "$failed" | python3 -c 'import re,sys; print("|".join(re.escape(l.strip()) for l in sys.stdin if l.strip()))')')$'
  fi
  READY[$g]=yes
  echo "mutation-sample: baseline of $g: $(grep -c '^ *[0-9]*/[0-9]* Test' "$WORK/baseline.log" || true) tests in ${took}s"
}

# ---- the mutants
killed=0
survived=0
discarded=0
skipped=0
SURVIVORS=""
k=0
while ((killed + survived < COUNT && k < TOTAL)); do
  i=$k
  field() { python3 "$HELPER" show "$WORK/mutants.json" "$i" "$1"; }
  file=$(field file)
  line=$(field line)
  op=$(field op)
  group=$(field group)
  k=$((k + 1))
  if [[ $group == None ]]; then skipped=$((skipped + 1)); continue; fi
  [[ -n ${READY[$group]:-} ]] || baseline "$group"
  if [[ ${READY[$group]} != yes ]]; then
    echo "mutation-sample: $file:$line left out: ${READY[$group]}"
    skipped=$((skipped + 1))
    continue
  fi
  targets=$(targets_of "$group")
  lock
  if ! python3 "$HELPER" apply "$WORK/mutants.json" "$i" "$WORK/mutant"; then
    unlock
    echo "mutation-sample: $file:$line changed since the mutants were drawn; left out"
    skipped=$((skipped + 1))
    continue
  fi
  cp "$file" "$WORK/original"
  MUTATED=$file
  MUTANT=$i
  cat "$WORK/mutant" >"$file"
  DIRTY=$targets
  verdict=""
  # shellcheck disable=SC2086
  if ! run "$WORK/build.log" cmake --build "$BUILD_DIR" -j"$JOBS" --target $targets; then
    verdict=discarded
  else
    rc=0
    # shellcheck disable=SC2016  # the inner shell expands its arguments
    run "$WORK/test.log" timeout --kill-after=10 "${LIMIT[$group]}" bash -c \
      'cd "$1" && ctest -R "$2" ${3:+-E "$3"} -j"$4" --timeout "$5" --stop-on-failure --output-on-failure' _ \
      "$BUILD_DIR" "${REGEX[$group]}" "${EXCLUDE[$group]}" "$JOBS" "$PER_TEST" || rc=$?
    if ((rc == 124 || rc == 137)); then verdict="killed (the tests ran out of time)"
    elif ((rc)); then
      first=$(sed -En 's/^[[:space:]]*[0-9]+ - (.*) \([A-Za-z ]+\)$/\1/p' "$WORK/test.log" | head -n 3 | tr '\n' ' ')
      verdict="killed by ${first:-a failing test}"
    else verdict=survived
    fi
  fi
  restore
  rebuild
  unlock
  original=$(field original)
  mutant=$(field mutant)
  case $verdict in
    discarded)
      discarded=$((discarded + 1))
      echo "mutation-sample: $file:$line [$op] does not compile; another is drawn" ;;
    survived)
      survived=$((survived + 1))
      SURVIVORS+="$file:$line [$op]"$'\n'"  - ${original#"${original%%[![:space:]]*}"}"$'\n'"  + ${mutant#"${mutant%%[![:space:]]*}"}"$'\n'
      echo "mutation-sample: $((killed + survived))/$COUNT $file:$line [$op] SURVIVED" ;;
    *)
      killed=$((killed + 1))
      echo "mutation-sample: $((killed + survived))/$COUNT $file:$line [$op] $verdict" ;;
  esac
done

tried=$((killed + survived))
echo
if ((tried == 0)); then
  echo "mutation-sample: no mutant could be tried ($discarded did not compile, $skipped had no tests)"
  exit 1
fi
echo "kill rate: $killed of $tried ($((100 * killed / tried))%); $discarded did not compile, $skipped had no tests or had changed"
if [[ -n $SURVIVORS ]]; then
  echo "survivors:"
  printf '%s' "$SURVIVORS"
fi

#!/usr/bin/env bash
# Plants faults in the flies' behaviour files, one at a time, and counts how many of them
# the fly core's tests catch with the golden hash left out: a fault that only the hash
# notices is a fault no test names. A developer's tool, not run by CI.
#
#   scripts/mutants.sh [SAMPLE [SEED [NUMBER...]]]
#
# SAMPLE mutants (default 150) are drawn with SEED (default 1) from every place in
# fly/core/{chase,escape,flight,grooming,ground,landmarks,world,swarm}.cpp where one can go,
# shared among the files by their number of code lines: a sign flipped (+ and -, += and
# -=, a unary minus dropped), a comparison swapped (< and >, <= and >=, == and !=, && and
# ||), a condition negated (if, while, or a ! dropped) or a statement line dropped. The
# same sources, SAMPLE and SEED always give the same mutants; NUMBERs (as printed) run only
# those. Each mutant is built in a scratch copy of the checkout (never in the checkout
# itself), in $GNATTER_MUTANTS_DIR or else ${TMPDIR:-/tmp}/gnatter-mutants, with -j 2,
# and the core test programs run on it with --gtest_filter=-*GoldenHash*, each under a
# timeout (a hang counts as caught). A mutant that does not compile is left out of the
# shares. A survivor is then run against the golden hash alone, which gives the share
# caught with the hash as well. About two and a half seconds a mutant on an idle machine
# (150 in six minutes), twice that while others build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v python3 >/dev/null || { echo "mutants: needs python3" >&2; exit 2; }
command -v ninja >/dev/null || { echo "mutants: needs ninja (apt-get install ninja-build)" >&2; exit 2; }
exec python3 - "$root" "$@" <<'PYTHON'
import os, random, re, shutil, subprocess, sys, time

root = sys.argv[1]
args = sys.argv[2:]
try:
    sample = int(args[0]) if args else 150
    seed = int(args[1]) if len(args) > 1 else 1
    only = {int(a) for a in args[2:]}
except ValueError:
    sys.exit("usage: scripts/mutants.sh [SAMPLE [SEED [NUMBER...]]]")
if sample < 1:
    sys.exit("mutants: the sample needs at least one mutant")

FILES = ["chase", "escape", "flight", "grooming", "ground", "landmarks", "world", "swarm"]
# Fastest and most telling first: the first program that fails settles the mutant.
PROGRAMS = ["fly_core_plans_test", "fly_core_world_test", "fly_core_swarm_test", "fly_core_behaviour_test",
            "fly_core_options_test", "ethogram_texture_test"]
TIMEOUT = 30  # seconds per test program; a clean run takes about one
scratch = os.environ.get("GNATTER_MUTANTS_DIR") or os.path.join(os.environ.get("TMPDIR", "/tmp"), "gnatter-mutants")
src, build = os.path.join(scratch, "src"), os.path.join(scratch, "build")


# ---- where faults can go ----

def code_mask(text):
    """The text with comments and string and character literals blanked out (newlines
    kept), so that operators are looked for in code only."""
    out, i, n = list(text), 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out[i] = " "; i += 1
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2); j = n if j < 0 else j + 2
            for k in range(i, j):
                if text[k] != "\n": out[k] = " "
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            for k in range(i, min(j + 1, n)): out[k] = " "
            i = j + 1
        else:
            i += 1
    return "".join(out)


DECLARATION = re.compile(r"^\s*(?:(?:const|static|constexpr|inline)\s+)*"
                         r"(?:auto|bool|int|double|float|char|std::[\w:<>, ]+|[A-Z]\w*(?:::\w+)*)[&*]?\s+"
                         r"[\w\[\]]+\s*(?:=|\{|;|\[|,)")


def sites(text):
    """Every fault that can be planted in this file: (position, length, replacement, what)."""
    mask = code_mask(text)
    found = []
    swaps = {" + ": " - ", " - ": " + ", " += ": " -= ", " -= ": " += ", " < ": " > ", " > ": " < ",
             " <= ": " >= ", " >= ": " <= ", " == ": " != ", " != ": " == ", " && ": " || ", " || ": " && "}
    for m in re.finditer(r" (?:\+=|-=|<=|>=|==|!=|&&|\|\||\+|-|<|>) ", mask):
        found.append((m.start(), len(m.group()), swaps[m.group()], f"'{m.group().strip()}' -> '{swaps[m.group()].strip()}'"))
    # A unary minus: after an opening bracket, a comma, an assignment, ?, : or return.
    for m in re.finditer(r"(?:[(\[{,=?:]\s*|\breturn\s+)(-)(?=[\w(.])", mask):
        found.append((m.start(1), 1, "", "unary '-' dropped"))
    # A logical not (not !=).
    for m in re.finditer(r"!(?!=)", mask):
        found.append((m.start(), 1, "", "'!' dropped"))
    # The whole condition of an if or a while, negated.
    for m in re.finditer(r"\b(?:if|while) \(", mask):
        depth, j = 1, m.end()
        while j < len(mask) and depth:
            depth += {"(": 1, ")": -1}.get(mask[j], 0); j += 1
        inner = text[m.end():j - 1]
        found.append((m.end(), j - 1 - m.end(), "!(" + inner + ")", f"condition of '{m.group()[:-2]}' negated"))
    # A statement line dropped: a whole statement on one line, not a declaration (its name
    # would go missing) nor a value returned (the function would fall off its end).
    lines, at, previous = mask.split("\n"), 0, "{"
    for k, line in enumerate(lines):
        code = line.strip()
        following = next((l.strip() for l in lines[k + 1:] if l.strip()), "")
        if (code.endswith(";") and previous[-1:] in (";", "{", "}", ":") and code.count("(") == code.count(")")
                and not DECLARATION.match(line) and not (code.startswith("return ") and code != "return;")
                and not code.startswith(("}", "case ", "default:", "using ", "namespace ", "#"))
                and not following.startswith("else")):
            start = at + len(line) - len(line.lstrip())
            found.append((start, len(code), "", "line dropped"))
        if code:
            previous = code
        at += len(line) + 1
    return sorted(found)


def line_of(text, pos):
    return text.count("\n", 0, pos) + 1


def code_lines(text):
    return sum(1 for l in code_mask(text).split("\n") if l.strip())


def draw_sample():
    texts = {f: open(os.path.join(root, "fly/core", f + ".cpp")).read() for f in FILES}
    weight = {f: code_lines(texts[f]) for f in FILES}
    total = sum(weight.values())
    # Shares by size, largest remainders first, never more than a file offers.
    exact = {f: sample * weight[f] / total for f in FILES}
    quota = {f: int(exact[f]) for f in FILES}
    for f in sorted(FILES, key=lambda f: exact[f] - quota[f], reverse=True)[:sample - sum(quota.values())]:
        quota[f] += 1
    rng = random.Random(seed)
    chosen = []
    for f in FILES:
        places = sites(texts[f])
        for s in rng.sample(places, min(quota[f], len(places))):
            chosen.append((f, s))
    chosen.sort(key=lambda c: (FILES.index(c[0]), c[1][0]))
    return texts, [(i + 1, f, s) for i, (f, s) in enumerate(chosen)]


# ---- the scratch copy ----

def run(cmd, log, timeout=None, cwd=None):
    with open(log, "w") as out:
        try:
            return subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, timeout=timeout, cwd=cwd).returncode
        except subprocess.TimeoutExpired:
            return "timeout"


def sync():
    """Copies the checkout's files (tracked and new, not ignored) into the scratch copy,
    rewriting only those whose content differs, so the build redoes only what changed."""
    listed = subprocess.run(["git", "-C", root, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        a, b = os.path.join(root, name), os.path.join(src, name)
        if not os.path.isfile(a):
            continue
        data = open(a, "rb").read()
        if os.path.isfile(b) and open(b, "rb").read() == data:
            continue
        os.makedirs(os.path.dirname(b), exist_ok=True)
        with open(b, "wb") as out:
            out.write(data)
        shutil.copymode(a, b)


def write(path, text):
    with open(path, "w") as out:
        out.write(text)


def main():
    texts, mutants = draw_sample()
    if only:
        mutants = [m for m in mutants if m[0] in only]
    os.makedirs(src, exist_ok=True)
    os.makedirs(build, exist_ok=True)
    logs = os.path.join(scratch, "logs")
    os.makedirs(logs, exist_ok=True)
    print(f"mutants: {len(mutants)} of a sample of {sample} (seed {seed}); scratch copy in {scratch}", flush=True)
    sync()
    for f in FILES:  # a run stopped half way may have left a mutant behind
        path = os.path.join(src, "fly/core", f + ".cpp")
        if open(path).read() != texts[f]:
            write(path, texts[f])
    # Configured afresh each time, so that test programs added since the last run are seen.
    if run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release", "-DGNATTER_BUILD_FLY=ON",
            "-DGNATTER_BUILD_TESTS=ON", "-DGNATTER_BUILD_BENCHMARKS=OFF"], os.path.join(logs, "configure.log")) != 0:
        sys.exit(f"mutants: configuring the scratch copy failed, see {logs}/configure.log")
    programs = [p for p in PROGRAMS if re.search(rf"^build {re.escape('bin/' + p)}\b",
                                                 open(os.path.join(build, "build.ninja")).read(), re.M)]
    # Programs added to the core's tests later are picked up too.
    targets = re.findall(r"^build bin/((?:fly_core|ethogram)_\w+_test):", open(os.path.join(build, "build.ninja")).read(), re.M)
    programs += [t for t in targets if t not in programs and t != "fly_core_sprite_test"]

    def build_tests(log):
        return run(["ninja", "-C", build, "-j", "2"] + programs, log)

    def tests_fail(filter_, log, names):
        for p in names:
            status = run([os.path.join(build, "bin", p), "--gtest_filter=" + filter_], log, timeout=TIMEOUT)
            if status != 0:
                return f"{p} ({'hung' if status == 'timeout' else 'failed'})"
        return None

    if build_tests(os.path.join(logs, "build.log")) != 0:
        sys.exit(f"mutants: the unmutated scratch copy does not build, see {logs}/build.log")
    if tests_fail("*", os.path.join(logs, "clean.log"), programs):
        sys.exit(f"mutants: the tests fail without any mutant, see {logs}/clean.log")
    print("mutants: test programs: " + ", ".join(programs), flush=True)

    results = []
    started = time.time()
    for number, f, (pos, length, replacement, what) in mutants:
        text = texts[f]
        path = os.path.join(src, "fly/core", f + ".cpp")
        line = line_of(text, pos)
        # The object goes too: a rewrite within the build's own second must not look stale.
        obj = os.path.join(build, "fly/core/CMakeFiles/gnatter_fly_core.dir", f + ".cpp.o")
        write(path, text[:pos] + replacement + text[pos + length:])
        if os.path.exists(obj):
            os.remove(obj)
        log = os.path.join(logs, f"mutant-{number}.log")
        try:
            if build_tests(log) != 0:
                outcome, by = "no build", ""
            else:
                by = tests_fail("-*GoldenHash*", log, programs)
                if by:
                    outcome = "caught"
                else:
                    outcome = "survived"
                    if tests_fail("*GoldenHash*", log, ["fly_core_swarm_test"]):
                        by = "golden hash"
        finally:
            write(path, text)
            if os.path.exists(obj):
                os.remove(obj)
        source = text.split("\n")[line - 1].strip()
        results.append((number, f, line, what, outcome, by, source))
        print(f"  #{number:<4} {f}.cpp:{line:<4} {what:<36} {outcome}{' by ' + by if by else ''}", flush=True)

    print(f"\nmutants: {len(results)} run in {time.time() - started:.0f} s\n")
    print(f"{'file':<14} {'compiled':>8} {'caught':>7} {'survived':>9} {'share':>7} {'with hash':>10}")
    totals = [0, 0, 0]
    for f in FILES + ["all"]:
        rows = [r for r in results if (f == "all" or r[1] == f) and r[4] != "no build"]
        if f == "all":
            print("-" * 60)
        if not rows:
            continue
        caught = sum(r[4] == "caught" for r in rows)
        hashed = caught + sum(r[4] == "survived" and r[5] == "golden hash" for r in rows)
        print(f"{f + ('.cpp' if f != 'all' else ''):<14} {len(rows):>8} {caught:>7} {len(rows) - caught:>9} "
              f"{100.0 * caught / len(rows):>6.0f}% {100.0 * hashed / len(rows):>9.0f}%")
    survivors = [r for r in results if r[4] == "survived"]
    if survivors:
        print("\nsurvivors (number, place, fault, caught by the golden hash?, the line as it was):")
        for number, f, line, what, _, by, source in survivors:
            print(f"  #{number:<4} {f}.cpp:{line:<4} {what:<36} {'hash' if by else 'none'}  {source}")
    skipped = sum(r[4] == "no build" for r in results)
    print(f"\n{skipped} mutants did not compile and are left out.")
    compiled = [r for r in results if r[4] != "no build"]
    if compiled:
        print(f"caught without the golden hash: {100.0 * sum(r[4] == 'caught' for r in compiled) / len(compiled):.1f} %")


main()
PYTHON

#!/usr/bin/env python3
"""Mutation check: plants one single-token fault at a time and sees whether a test notices.

    tools/mutate.py [options] FILE-OR-GLOB ...

Each mutant changes one token of one file (an arithmetic or logical operator, a relational
operator flipped, an integer or real constant made +1, -1 or 0, true/false swapped, an if/while
condition negated, a one-line statement deleted). The file is written, the build directory is
rebuilt incrementally with ninja (only the test programs the file can reach), the test programs of
the file's folder and of every folder that depends on it are run (own folder first, stopping at the
first failure), and the file is put back byte for byte. A mutant that does not build is listed but
not counted.

The file is always restored: on normal exit, on an exception, on Ctrl+C or SIGTERM; a copy of the
pristine file is kept under <build>/mutate-backup while it is mutated, and a later run restores
any copy left there by a run that was killed outright. At the end the build directory is rebuilt
from the pristine sources, so it matches the tree again.

Python 3 standard library only.
"""

import argparse
import fcntl
import glob
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Which test programs a source folder can affect: its own and those of every folder that depends
# on it (game -> sound, input, sprites -> display -> toolkit -> platform; sound uses display).
DEPENDENTS = {
    "platform": ["platform", "toolkit", "display", "sprites", "input", "sound", "game"],
    "toolkit": ["toolkit", "display", "sprites", "input", "sound", "game"],
    "display": ["display", "sprites", "sound", "game"],
    "sprites": ["sprites", "game"],
    "input": ["input", "game"],
    "sound": ["sound", "game"],
    "game": ["game"],
}

# Tests too slow for a mutant's half minute; they repeat what the quicker tests guard.
DEFAULT_EXCLUDE = "Soak.*:*Huge*:DibReaderMagick.DecodesWhatImageMagickWrites"


# ---------------------------------------------------------------------------------------------
# Finding the places a fault can be planted.


def code_mask(text):
    """Returns a list of booleans: True where text[i] is code (not comment, literal or directive)."""
    mask = [True] * len(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in " \t":
            i += 1
            continue
        if line_start and c == "#":  # preprocessor line (with continuations)
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 2
                    continue
                j += 1
            for k in range(i, j):
                mask[k] = False
            i = j
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                mask[k] = False
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                mask[k] = False
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i)
            j = n if end < 0 else end + len(m.group(1)) + 2
            for k in range(i, j):
                mask[k] = False
            i = j
        elif c in "\"'":
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            for k in range(i, j):
                mask[k] = False
            i = j
        else:
            i += 1
    return mask


# Binary operators are recognised with a space on both sides: clang-format writes them so, and
# never so for template brackets, pointer declarators, references or unary signs.
SPACED = {
    "+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"], "%": ["*"],
    "<": ["<=", ">"], ">": [">=", "<"], "<=": ["<", ">"], ">=": [">", "<"],
    "==": ["!="], "!=": ["=="], "&&": ["||"], "||": ["&&"],
    "+=": ["-="], "-=": ["+="], "*=": ["/="], "/=": ["*="],
    "<<": [">>"], ">>": ["<<"], "&": ["|"], "|": ["&"], "^": ["&"],
}
SPACED_RE = re.compile(r"(?<= )(<<=|>>=|<<|>>|<=|>=|==|!=|&&|\|\||\+=|-=|\*=|/=|[-+*/%<>&|^])(?= )")
NUMBER_RE = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F']+|\d[\d']*\.\d*(?:[eE][-+]?\d+)?|\d[\d']*(?:[eE][-+]?\d+)?)([uUlLfF]*)(?![\w.])")
BOOL_RE = re.compile(r"\b(true|false)\b")
INCDEC_RE = re.compile(r"(\+\+|--)")
COND_RE = re.compile(r"\b(if|while) \(")
STMT_SKIP = re.compile(r"^\s*(return|case|default|else|do|for|if|while|switch|using|typedef|"
                       r"namespace|template|struct|class|enum|public|private|protected|static_assert|"
                       r"const|constexpr|static|auto|int|unsigned|bool|double|float|char|long|"
                       r"short|std::|u?int\d+_t|size_t|[A-Z]\w*(<[^;]*>)?[*&]? \w+)\b")


def number_variants(tok, suffix):
    body = tok.replace("'", "")
    try:
        if body.lower().startswith("0x"):
            v = int(body, 16)
        elif any(ch in body for ch in ".eE") and not body.lower().startswith("0x"):
            v = float(body)
        else:
            v = int(body, 10)
    except ValueError:
        return []
    out = []
    if body.lower().startswith("0x"):
        return [f"0x{w:X}{suffix}" for w in (v + 1, v - 1, 0) if w != v and w >= 0]
    if isinstance(v, float):
        for w in (v + 1, v - 1, 0.0):
            if w != v:
                out.append(repr(w) + suffix)
    else:
        for w in (v + 1, v - 1, 0):
            if w != v and w >= 0:
                out.append(str(w) + suffix)
    return out


def matching_paren(text, open_idx, mask):
    depth = 0
    for j in range(open_idx, len(text)):
        if not mask[j]:
            continue
        if text[j] == "(":
            depth += 1
        elif text[j] == ")":
            depth -= 1
            if depth == 0:
                return j
    return -1


def find_mutants(path):
    """Every mutant of one file as (start, end, replacement, description), in file order."""
    text = open(path, encoding="utf-8").read()
    mask = code_mask(text)
    muts = []

    def code(a, b):
        return all(mask[a:b])

    for m in SPACED_RE.finditer(text):
        op = m.group(1)
        if not code(m.start(), m.end()) or op not in SPACED:
            continue
        # "a < b" inside a template argument list of a declaration is rare; a build failure shows it.
        for rep in SPACED[op]:
            muts.append((m.start(), m.end(), rep, f"'{op}' -> '{rep}'"))
    for m in NUMBER_RE.finditer(text):
        if not code(m.start(), m.end()):
            continue
        for rep in number_variants(m.group(1), m.group(2)):
            muts.append((m.start(), m.end(), rep, f"{m.group(0)} -> {rep}"))
    for m in BOOL_RE.finditer(text):
        if code(m.start(), m.end()):
            rep = "false" if m.group(1) == "true" else "true"
            muts.append((m.start(), m.end(), rep, f"{m.group(1)} -> {rep}"))
    for m in INCDEC_RE.finditer(text):
        if code(m.start(), m.end()):
            rep = "--" if m.group(1) == "++" else "++"
            muts.append((m.start(), m.end(), rep, f"'{m.group(1)}' -> '{rep}'"))
    for m in COND_RE.finditer(text):
        if not code(m.start(), m.end()):
            continue
        o = m.end() - 1
        c = matching_paren(text, o, mask)
        if c < 0:
            continue
        inner = text[o + 1 : c]
        if re.match(r"\s*(auto|const|int|bool)\b", inner) or ";" in inner:
            continue  # an if with an initialiser or a declaration
        muts.append((o, c + 1, "(!(" + inner + "))", f"{m.group(1)} condition negated"))
    # Deleted statements: a whole line that is one expression statement (a call, an assignment, an
    # increment, a break or continue).
    pos = 0
    previous = ";"  # the last non-blank code line's end: a statement starts after ; { } : or )
    for line in text.split("\n"):
        start, end = pos, pos + len(line)
        pos = end + 1
        s = line.strip()
        after, previous = previous, (s[-1] if s and not s.startswith("//") else previous)
        if after not in ";{}:)":
            continue
        if not s.endswith(";") or not code(start + line.index(s[0]) if s else start, end):
            continue
        if STMT_SKIP.match(line):
            continue
        if s.count("(") != s.count(")") or s.startswith(("}", ")", ":", "{")):
            continue
        if not (s in ("break;", "continue;") or "(" in s or re.search(r"[^=!<>]=[^=]|\+\+|--", s)):
            continue
        first = start + line.index(s[0])
        muts.append((first, end, "", f"statement deleted: {s[:60]}"))
    muts.sort(key=lambda t: (t[0], t[3]))
    return text, muts


# ---------------------------------------------------------------------------------------------
# Planting, building, testing, restoring.


class Restorer:
    """Keeps the pristine copy of the file being mutated and puts it back whatever happens."""

    def __init__(self, backup_dir):
        self.backup_dir = backup_dir
        self.current = None  # (path, pristine bytes)

    def recover_leftovers(self):
        if not os.path.isdir(self.backup_dir):
            return
        for dirpath, _, names in os.walk(self.backup_dir):
            for name in names:
                saved = os.path.join(dirpath, name)
                target = os.path.join(ROOT, os.path.relpath(saved, self.backup_dir))
                print(f"restoring {os.path.relpath(target, ROOT)} left mutated by an earlier run")
                shutil.copyfile(saved, target)
                os.remove(saved)

    def plant(self, path, pristine, mutated):
        saved = os.path.join(self.backup_dir, os.path.relpath(path, ROOT))
        os.makedirs(os.path.dirname(saved), exist_ok=True)
        with open(saved, "wb") as f:
            f.write(pristine)
        self.current = (path, pristine, saved)
        with open(path, "wb") as f:
            f.write(mutated)

    def restore(self):
        if self.current is None:
            return
        path, pristine, saved = self.current
        with open(path, "wb") as f:
            f.write(pristine)
        if os.path.exists(saved):
            os.remove(saved)
        self.current = None


def folder_of(path):
    rel = os.path.relpath(path, ROOT).split(os.sep)
    if len(rel) >= 2 and rel[0] == "src" and rel[1] in DEPENDENTS:
        return rel[1]
    return None


def build(build_dir, targets, jobs, timeout):
    try:
        r = subprocess.run(["ninja", "-C", build_dir, f"-j{jobs}", *targets],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False, "build timed out"
    return r.returncode == 0, r.stdout.decode(errors="replace")


def run_tests(build_dir, programs, exclude, timeout):
    """Runs the test programs in order; returns (status, detail)."""
    env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    deadline = time.monotonic() + timeout
    for prog in programs:
        exe = os.path.join(build_dir, "tests", "test_" + prog)
        if not os.path.exists(exe):
            continue
        args = [exe, "--gtest_fail_fast", "--gtest_brief=1"]
        if exclude:
            args.append("--gtest_filter=-" + exclude)
        left = deadline - time.monotonic()
        if left <= 0:
            return "timeout", f"test_{prog} (time up)"
        proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                cwd=build_dir, env=env, start_new_session=True)
        try:
            out, _ = proc.communicate(timeout=left)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.communicate()
            return "timeout", f"test_{prog}"
        if proc.returncode != 0:
            failed = re.findall(r"\[  FAILED  \] ([\w/.]+)", out.decode(errors="replace"))
            name = failed[0] if failed else f"exit {proc.returncode}"
            return "killed", f"test_{prog}: {name}"
    return "survived", ""


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def expand(patterns):
    files = []
    for p in patterns:
        full = p if os.path.isabs(p) else os.path.join(ROOT, p)
        hits = sorted(glob.glob(full, recursive=True)) if any(ch in p for ch in "*?[") else [full]
        for h in hits:
            if os.path.isdir(h):
                hits2 = [os.path.join(h, f) for f in sorted(os.listdir(h)) if f.endswith(".cpp")]
            else:
                hits2 = [h]
            for f in hits2:
                if os.path.isfile(f) and f not in files:
                    files.append(os.path.abspath(f))
    return files


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("files", nargs="+", help="source files, folders (their .cpp files) or globs")
    ap.add_argument("-n", "--sample", type=int, default=0, help="random sample size (0: all)")
    ap.add_argument("-s", "--seed", type=int, default=1, help="random seed of the sample")
    ap.add_argument("-b", "--build-dir", default="build", help="ninja build directory")
    ap.add_argument("-t", "--timeout", type=float, default=30,
                    help="seconds for the tests of one mutant (more: killed by timeout)")
    ap.add_argument("--build-timeout", type=float, default=300, help="seconds for one rebuild")
    ap.add_argument("-j", "--jobs", type=int, default=2, help="ninja jobs")
    ap.add_argument("--exclude", default=DEFAULT_EXCLUDE,
                    help="gtest patterns left out (':'-separated; '' runs everything)")
    ap.add_argument("--only", default="", help="comma-separated mutant ids (file:line:k, as --list shows) to run")
    ap.add_argument("--list", action="store_true", help="list the chosen mutants, run nothing")
    ap.add_argument("--log", help="also append result lines to this file")
    args = ap.parse_args()

    build_dir = os.path.abspath(os.path.join(ROOT, args.build_dir)
                                if not os.path.isabs(args.build_dir) else args.build_dir)
    files = expand(args.files)
    if not files:
        sys.exit("no files match")
    restorer = Restorer(os.path.join(build_dir, "mutate-backup"))

    catalogue = []  # (id, path, text, mutant)
    texts = {}
    for f in files:
        if folder_of(f) is None:
            sys.exit(f"{os.path.relpath(f, ROOT)}: not in a source folder with tests")
        text, muts = find_mutants(f)
        texts[f] = text
        rel = os.path.relpath(f, ROOT)
        # A mutant's id is file:line:k (the k-th mutant of that line), stable while other lines
        # change.
        per_line = {}
        for m in muts:
            line = line_of(text, m[0])
            k = per_line.get(line, 0)
            per_line[line] = k + 1
            catalogue.append((f"{rel}:{line}:{k}", f, m))
    if args.only:
        wanted = set(args.only.split(","))
        chosen = [c for c in catalogue if c[0] in wanted]
    elif args.sample and args.sample < len(catalogue):
        chosen = random.Random(args.seed).sample(catalogue, args.sample)
        chosen.sort(key=lambda c: (c[1], c[2][0]))
    else:
        chosen = catalogue
    print(f"{len(catalogue)} possible mutants in {len(files)} files; running {len(chosen)}")

    if args.list:
        try:
            for mid, f, (a, b, rep, desc) in chosen:
                print(f"{mid:36} {desc}")
        except BrokenPipeError:
            sys.stderr.close()
        return 0

    # One run at a time per build directory: a second one would build and restore over the first.
    lock = open(os.path.join(build_dir, "mutate.lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        sys.exit("another mutation run is using " + build_dir)
    restorer.recover_leftovers()

    def on_term(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, on_term)
    signal.signal(signal.SIGHUP, on_term)
    log = open(args.log, "a") if args.log else None
    counts = {"killed": 0, "timeout": 0, "survived": 0, "build-failed": 0}
    survivors = []
    touched = set()
    try:
        for folder in sorted({folder_of(f) for _, f, _ in chosen}):
            progs = DEPENDENTS[folder]
            ok, out = build(build_dir, ["test_" + p for p in progs], args.jobs, args.build_timeout)
            if not ok:
                sys.exit("the pristine tree does not build:\n" + out[-3000:])
            status, detail = run_tests(build_dir, progs, args.exclude, args.timeout * 4)
            if status != "survived":
                sys.exit(f"the pristine tree fails its tests ({status}: {detail})")
        for k, (mid, f, (a, b, rep, desc)) in enumerate(chosen, 1):
            text = texts[f]
            progs = DEPENDENTS[folder_of(f)]
            pristine = text.encode("utf-8")
            mutated = (text[:a] + rep + text[b:]).encode("utf-8")
            t0 = time.monotonic()
            touched.add(folder_of(f))
            try:
                restorer.plant(f, pristine, mutated)
                ok, out = build(build_dir, ["test_" + p for p in progs], args.jobs,
                                args.build_timeout)
                if ok:
                    status, detail = run_tests(build_dir, progs, args.exclude, args.timeout)
                else:
                    status, detail = "build-failed", ""
            finally:
                restorer.restore()
            counts[status] += 1
            line = (f"[{k}/{len(chosen)}] {status.upper():12} {mid:36} {desc}"
                    f"{'  (' + detail + ')' if detail else ''}  [{mid}, {time.monotonic() - t0:.0f}s]")
            print(line, flush=True)
            if log:
                log.write(line + "\n")
                log.flush()
            if status == "survived":
                survivors.append(line)
    except BrokenPipeError:
        pass
    except KeyboardInterrupt:
        print("\ninterrupted; the file is restored", file=sys.stderr)
    finally:
        restorer.restore()
        if touched:
            targets = sorted({"test_" + p for t in touched for p in DEPENDENTS[t]})
            build(build_dir, targets, args.jobs, args.build_timeout)
        if log:
            log.close()
    counted = counts["killed"] + counts["timeout"] + counts["survived"]
    print()
    print(f"killed {counts['killed']}, killed by timeout {counts['timeout']}, "
          f"survived {counts['survived']}, build failed {counts['build-failed']} (not counted)")
    if counted:
        rate = 100.0 * (counts["killed"] + counts["timeout"]) / counted
        print(f"kill rate {counts['killed'] + counts['timeout']}/{counted} = {rate:.1f} %")
    for s in survivors:
        print("  survived:", s.split("] ", 1)[1])
    return 0


if __name__ == "__main__":
    sys.exit(main())

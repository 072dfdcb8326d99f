#!/usr/bin/env python3
"""Seeded operator mutants of shrinker/*.cpp and engine/*.cpp against the native unit tests.

  scripts/mutants.py SEED [COUNT] [--build-dir DIR] [--jobs N] [--list]

Picks COUNT mutation sites at random (the same ones for the same SEED and sources) outside comments and string
literals, applies each in turn to its file, rebuilds pellmor_tests in a plain (unsanitized) build folder, runs the
suite in parallel shards with a time limit, and puts the file back. A mutant is killed when a test fails, the
suite crashes or it runs past the limit; one that does not compile is replaced by the next site. Prints each
survivor's file:line with the mutated line, then the score. --list only prints the sites."""
import argparse, glob, os, random, re, signal, subprocess, sys, tempfile, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (pattern on the masked line, replacement of the matched text); binary operators need their spaces.
OPERATORS = [
    (r"&&", lambda m: "||"), (r"\|\|", lambda m: "&&"),
    (r"(?<=\s)<=(?=\s)", lambda m: "<"), (r"(?<=\s)>=(?=\s)", lambda m: ">"),
    (r"(?<=\s)<(?=\s)", lambda m: "<="), (r"(?<=\s)>(?=\s)", lambda m: ">="),
    (r"==", lambda m: "!="), (r"!=", lambda m: "=="),
    (r"(?<=\s)\+(?=\s)", lambda m: "-"), (r"(?<=\s)-(?=\s)", lambda m: "+"),
    (r"\+\+", lambda m: "--"), (r"--", lambda m: "++"),
    (r"\btrue\b", lambda m: "false"), (r"\bfalse\b", lambda m: "true"),
]


def mask(lines):
    """The lines with comments, string and character literals blanked, columns kept."""
    out, in_block = [], False
    for line in lines:
        chars, i, quote = list(line), 0, None
        while i < len(chars):
            c, nxt = chars[i], line[i + 1] if i + 1 < len(line) else ""
            if in_block:
                if c == "*" and nxt == "/":
                    chars[i] = chars[i + 1] = " "; in_block = False; i += 2; continue
                chars[i] = " " if c != "\n" else c
            elif quote:
                if c == "\\":
                    chars[i] = " "
                    if i + 1 < len(chars): chars[i + 1] = " "
                    i += 2; continue
                if c == quote: quote = None
                else: chars[i] = " " if c != "\n" else c
            elif c == "/" and nxt == "/":
                for j in range(i, len(chars)):
                    if chars[j] != "\n": chars[j] = " "
                break
            elif c == "/" and nxt == "*":
                chars[i] = chars[i + 1] = " "; in_block = True; i += 2; continue
            elif c in "\"'":
                quote = c
            i += 1
        out.append("".join(chars))
    return out


def sites_of(path):
    lines = re.findall(r"[^\n]*\n|[^\n]+$", open(path, encoding="utf-8", newline="").read())
    found = []
    for n, (line, masked) in enumerate(zip(lines, mask(lines))):
        if masked.lstrip().startswith("#"): continue
        for pattern, repl in OPERATORS:
            for m in re.finditer(pattern, masked):
                found.append((path, n, m.start(), m.end(), repl(m)))
        for m in re.finditer(r"\b(?:if|while) \(", masked):   # the whole condition negated
            depth, start = 0, m.end() - 1
            for j in range(start, len(masked)):
                depth += {"(": 1, ")": -1}.get(masked[j], 0)
                if depth == 0:
                    found.append((path, n, start, j + 1, "(!" + line[start:j + 1] + ")"))
                    break
    return lines, found


def run(cmd, timeout=None, **kw):
    return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout, **kw)


def run_suite(binary, shards, timeout):
    """None when every shard passes within the time limit, else what failed first."""
    # Each shard runs its own link of the program in a folder of its own: the dialog's tests keep their files
    # beside the program, and two shards must not share them.
    logs, links = [tempfile.TemporaryFile() for _ in range(shards)], []
    for i in range(shards):
        folder = os.path.join(os.path.dirname(binary), "shard%d" % i)
        os.makedirs(folder, exist_ok=True)
        links.append(os.path.join(folder, os.path.basename(binary)))
        if os.path.exists(links[i]): os.remove(links[i])
        os.link(binary, links[i])
    procs = [subprocess.Popen([links[i], "--gtest_fail_fast"], stdout=logs[i], stderr=subprocess.STDOUT,
                              cwd=os.path.dirname(links[i]), start_new_session=True,
                              env=dict(os.environ, GTEST_TOTAL_SHARDS=str(shards), GTEST_SHARD_INDEX=str(i)))
             for i in range(shards)]
    deadline = time.time() + timeout
    while any(p.poll() is None for p in procs) and all(p.returncode in (None, 0) for p in procs):
        if time.time() > deadline: break
        time.sleep(0.2)
    why = None
    for p, log in zip(procs, logs):
        if p.poll() is None:
            os.killpg(p.pid, signal.SIGKILL); p.wait()
            why = why or "time limit"
        elif p.returncode != 0 and not why:
            log.seek(0)
            failed = re.findall(rb"\[  FAILED  \] (\S+)", log.read())
            why = failed[0].decode() if failed else "exit %d" % p.returncode
    return why

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("seed", type=int)
    ap.add_argument("count", type=int, nargs="?", default=40)
    ap.add_argument("--build-dir", default=os.path.join(ROOT, "build-mutants"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--shards", type=int, default=3)
    ap.add_argument("--timeout", type=int, default=180)
    ap.add_argument("--list", action="store_true")
    args = ap.parse_args()

    files = sorted(glob.glob(os.path.join(ROOT, "shrinker", "*.cpp")) + glob.glob(os.path.join(ROOT, "engine", "*.cpp")))
    sources, sites = {}, []
    for path in files:
        sources[path], found = sites_of(path)
        sites += found
    random.Random(args.seed).shuffle(sites)
    name = lambda s: "%s:%d" % (os.path.relpath(s[0], ROOT), s[1] + 1)
    mutated = lambda s: (lambda l: l[:s[2]] + s[4] + l[s[3]:])(sources[s[0]][s[1]])
    if args.list:
        for s in sites[:args.count]: print(name(s), mutated(s).strip())
        return

    build = ["cmake", "--build", args.build_dir, "-j", str(args.jobs), "--target", "pellmor_tests"]
    # Without the sanitizers, the standard library's own checks still stop an index past a vector's end.
    subprocess.check_call(["cmake", "-S", ROOT, "-B", args.build_dir, "-DCMAKE_BUILD_TYPE=Debug",
                           "-DCMAKE_C_FLAGS_DEBUG=-O1", "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -D_GLIBCXX_ASSERTIONS",
                           "-DPELLMOR_WERROR=OFF"], stdout=subprocess.DEVNULL)
    binary = os.path.join(args.build_dir, "tests", "pellmor_tests")
    current = [None]

    def restore(*_):
        if current[0]:
            open(current[0], "w", encoding="utf-8", newline="").write("".join(sources[current[0]])); current[0] = None

    def interrupted(signum, _):
        restore(); print("\ninterrupted; sources restored"); sys.exit(130)
    signal.signal(signal.SIGINT, interrupted); signal.signal(signal.SIGTERM, interrupted)

    if run(build).returncode != 0 or run_suite(binary, args.shards, args.timeout):
        sys.exit("mutants: the unmutated build or suite fails; nothing to measure")
    killed, survivors, tried = 0, [], 0
    try:
        for s in sites:
            if tried == args.count: break
            lines = list(sources[s[0]]); lines[s[1]] = mutated(s)
            current[0] = s[0]
            open(s[0], "w", encoding="utf-8", newline="").write("".join(lines))
            if run(build).returncode != 0:
                restore(); continue
            tried += 1
            why = run_suite(binary, args.shards, args.timeout)
            restore()
            print("%3d %-8s %s  %s%s" % (tried, "killed" if why else "SURVIVED", name(s), mutated(s).strip(),
                                        "  [%s]" % why if why else ""), flush=True)
            if not why: survivors.append(s)
            else: killed += 1
    finally:
        restore()
        run(build)
    print("\nsurvivors:")
    for s in survivors: print("  %s  %s" % (name(s), mutated(s).strip()))
    print("seed %d: %d of %d killed (%.0f%%)" % (args.seed, killed, tried, 100.0 * killed / max(tried, 1)))


if __name__ == "__main__":
    main()

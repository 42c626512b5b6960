#!/usr/bin/env python3
"""Mutation testing: does the test suite notice small faults put into the engine?

Each entry of scripts/mutations.txt replaces one exact piece of text in one
source file. A scratch copy of the checkout (brought up to date once per run,
its build folder kept between runs) gets one change at a time, is built
incrementally and runs the SQLite tests (ctest -E '^pg\\.'; with --server the
pg.* set too). A failing test kills the mutation; a change that does not
compile is "not viable"; an entry whose text does not occur exactly once is
"stale" and is not applied. Neither counts in the kill rate.

    scripts/mutation-test.py                 # every entry
    scripts/mutation-test.py --only 3,17     # entries 3 and 17
    scripts/mutation-test.py --list          # entries and whether they still apply
    scripts/mutation-test.py --only 3 --tests '^Course'   # against some tests only

Lines of the list: file | original text | replacement | description, each
entry on one line: a literal " | " inside a text is written " \\| ", \\n
stands for a line break and \\\\ for a backslash.

Exit status 0 when every mutation tried was killed or not viable, 1 when one
survived or is stale or the copy could not be built and tested, 2 for a
mistake in the options or the list.
"""

import argparse
import filecmp
import os
import re
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DEFAULT_LIST = REPO / "scripts" / "mutations.txt"
DEFAULT_WORK = REPO / "build" / "mutation"


@dataclass
class Mutation:
    number: int
    line: int
    file: str
    original: str
    replacement: str
    description: str


def usage_error(text):
    print(text, file=sys.stderr)
    sys.exit(2)


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in "\\n|":
            out.append("\n" if text[i + 1] == "n" else text[i + 1])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def parse_list(path):
    mutations = []
    for line_no, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not raw.strip() or raw.lstrip().startswith("#"):
            continue
        fields = re.split(r"(?<!\\) \| ", raw)
        if len(fields) != 4:
            usage_error(f"{path}:{line_no}: expected 'file | original | replacement | description', "
                     f"found {len(fields)} fields")
        file, original, replacement, description = fields
        mutations.append(Mutation(len(mutations) + 1, line_no, file.strip(), unescape(original),
                                  unescape(replacement), description.strip()))
    return mutations


def occurrences(tree, m):
    path = tree / m.file
    if not path.is_file():
        return 0
    return path.read_text(encoding="utf-8").count(m.original)


def run(cmd, log, **kwargs):
    with open(log, "w", encoding="utf-8") as out:
        return subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, **kwargs).returncode


class Scratch:
    """A copy of the checkout with a build folder that outlives the run."""

    def __init__(self, work, jobs):
        self.work = work
        self.tree = work / "tree"
        # Inside the copy, where every checkout keeps it: the compiler cache
        # then finds the objects other checkouts built.
        self.build = self.tree / "build" / "test"
        self.jobs = jobs
        self.server = False
        self.env = dict(os.environ, CCACHE_BASEDIR=str(self.tree), CCACHE_NOHASHDIR="1")

    def refresh(self):
        """Brings the copy to the checkout's files (tracked and untracked, not ignored).

        Only files whose content differs are written, and they get the time of
        writing: a file restored after a mutation keeps its newer time, so the
        objects built from the mutated text are always rebuilt, even when a
        run was stopped half-way.
        """
        listing = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                                 cwd=REPO, check=True, capture_output=True).stdout
        wanted = {os.fsdecode(name) for name in listing.split(b"\0") if name and (REPO / os.fsdecode(name)).is_file()}
        for name in wanted:
            source, copy = REPO / name, self.tree / name
            if copy.is_file() and filecmp.cmp(source, copy, shallow=False):
                continue
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(source, copy)
            shutil.copymode(source, copy)
        for folder, dirs, files in os.walk(self.tree):
            here = Path(folder).relative_to(self.tree)
            if here == Path("."):
                dirs[:] = [d for d in dirs if d != "build"]
            for f in files:
                if str(here / f) not in wanted:
                    (Path(folder) / f).unlink()

    def targets(self):
        return sorted("test_" + d.name for d in (self.tree / "tests").iterdir()
                      if d.is_dir() and d.name != "support" and any(d.glob("*.cpp")))

    def link_shared(self):
        """The shared folder beside the checkout (template, sample files), beside the copy too,
        so tests that read it run in the copy instead of skipping."""
        shared, link = REPO.parent / "shared", self.work / "shared"
        if shared.is_dir() and not link.exists():
            link.symlink_to(shared)

    def configure(self):
        if (self.build / "CMakeCache.txt").exists():
            return True
        return run(["cmake", "-S", str(self.tree), "-B", str(self.build), "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                   self.work / "configure.log", env=self.env) == 0

    def compile(self, log):
        cmd = ["cmake", "--build", str(self.build), f"-j{self.jobs}"]
        for target in self.targets():
            cmd += ["--target", target]
        return run(cmd, log, env=self.env) == 0

    def test(self, log, keep_going, tests=None):
        # A test that fails once and passes on its second try failed for reasons
        # of its own (a busy machine, an X server that would not start), not
        # because of the mutation.
        cmd = ["ctest", "--timeout", "300", f"-j{self.jobs}", "--repeat", "until-pass:2"]
        if not self.server:
            cmd += ["-E", r"^pg\."]
        if tests:
            cmd += ["-R", tests]
        if not keep_going:
            cmd.append("--stop-on-failure")
        return run(cmd, log, cwd=self.build, env=self.env) == 0


def failed_tests(log):
    """The tests ctest lists as failed (not those it skipped)."""
    text = log.read_text(encoding="utf-8", errors="replace")
    _, found, failed = text.partition("The following tests FAILED:")
    if not found:
        return []
    return [name for name, status in re.findall(r"^\s*\d+ - (\S+) \(([^)]*)\)", failed, re.MULTILINE)
            if status != "Skipped"]


def describe(m):
    return f"{m.file}: {m.description}"


def list_mutations(mutations, tree):
    for m in mutations:
        n = occurrences(tree, m)
        state = "ok" if n == 1 else f"stale ({n} occurrences)"
        print(f"{m.number:3}  {state:24} {describe(m)}")


def try_mutation(scratch, m, keep_going, tests=None):
    """killed, survived, not viable or stale, and a note."""
    path = scratch.tree / m.file
    n = occurrences(scratch.tree, m)
    if n != 1:
        return "stale", f"original text occurs {n} times (list line {m.line})"
    original = path.read_bytes()
    logs = scratch.work / "logs"
    logs.mkdir(exist_ok=True)
    try:
        text = original.decode("utf-8")
        path.write_text(text.replace(m.original, m.replacement, 1), encoding="utf-8")
        build_log = logs / f"{m.number}-build.log"
        if not scratch.compile(build_log):
            return "not viable", f"does not compile ({build_log})"
        test_log = logs / f"{m.number}-ctest.log"
        if scratch.test(test_log, keep_going, tests):
            return "survived", ""
        failed = failed_tests(test_log)
        return "killed", "by " + ", ".join(failed[:3]) + (" ..." if len(failed) > 3 else "") if failed else ""
    finally:
        path.write_bytes(original)


def select(mutations, only):
    if not only:
        return mutations
    wanted = set()
    for part in only.split(","):
        if not part.strip().isdigit():
            usage_error(f"--only takes numbers separated by commas, not '{only}'")
        wanted.add(int(part))
    missing = wanted - {m.number for m in mutations}
    if missing:
        usage_error(f"no mutation numbered {', '.join(map(str, sorted(missing)))} (the list has {len(mutations)})")
    return [m for m in mutations if m.number in wanted]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", metavar="N[,M...]", help="run only these entries (numbers as --list shows)")
    parser.add_argument("--list", action="store_true", help="show the entries and whether each still applies")
    parser.add_argument("--build-dir", type=Path, default=DEFAULT_WORK,
                        help=f"folder of the scratch copy and its build, kept between runs (default {DEFAULT_WORK})")
    parser.add_argument("--keep-going", action="store_true",
                        help="run every test for each mutation instead of stopping at the first failure")
    parser.add_argument("--mutations", type=Path, default=DEFAULT_LIST, help="the list of mutations")
    parser.add_argument("--jobs", type=int, default=2, help="parallel compile and test jobs (default 2)")
    parser.add_argument("--tests", metavar="REGEX",
                        help="run only the tests whose names match (ctest -R), to check one area quickly")
    parser.add_argument("--server", action="store_true",
                        help="run the pg.* tests too (the CORVINA_PG_* variables of a running test server set), "
                             "for faults only a server shows")
    parser.add_argument("--skip-baseline", action="store_true",
                        help="do not first check that the unchanged copy builds and passes")
    args = parser.parse_args()

    mutations = select(parse_list(args.mutations), args.only)
    if args.list:
        list_mutations(mutations, REPO)
        return 0

    scratch = Scratch(args.build_dir.resolve(), args.jobs)
    if args.server and not os.environ.get("CORVINA_PG_HOST"):
        usage_error("--server needs a running test server: scripts/pg-test-server.sh start DIR, then its env")
    scratch.server = args.server
    scratch.refresh()
    scratch.link_shared()
    if not scratch.configure():
        sys.exit(f"the scratch copy does not configure: {scratch.work / 'configure.log'}")
    if not args.skip_baseline:
        print("baseline: building and testing the unchanged copy ...", flush=True)
        if not scratch.compile(scratch.work / "baseline-build.log"):
            sys.exit(f"the unchanged copy does not build: {scratch.work / 'baseline-build.log'}")
        if not scratch.test(scratch.work / "baseline-ctest.log", keep_going=True, tests=args.tests):
            sys.exit(f"the unchanged copy fails tests, nothing could be measured: {scratch.work / 'baseline-ctest.log'}")

    counts = {"killed": 0, "survived": 0, "not viable": 0, "stale": 0}
    try:
        for m in mutations:
            started = time.monotonic()
            outcome, note = try_mutation(scratch, m, args.keep_going, args.tests)
            counts[outcome] += 1
            seconds = int(time.monotonic() - started)
            print(f"{m.number:3}  {outcome:10}  {describe(m)}" + (f"  [{note}]" if note else "") + f"  {seconds}s",
                  flush=True)
    except KeyboardInterrupt:
        print("interrupted; the mutated file was restored", file=sys.stderr)
        return 130

    judged = counts["killed"] + counts["survived"]
    rate = f"{counts['killed']}/{judged}" + (f" ({100 * counts['killed'] // judged}%)" if judged else "")
    print(f"{len(mutations)} mutations: {counts['killed']} killed, {counts['survived']} survived, "
          f"{counts['not viable']} not viable, {counts['stale']} stale, kill rate {rate}")
    return 0 if counts["survived"] == 0 and counts["stale"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

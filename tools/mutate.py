#!/usr/bin/env python3
"""Mutation check: plants one fault at a time in the plug-in's sources and
runs the test suites against it, to find faults that no test notices.

    nice -n 10 python3 tools/mutate.py [--sample N] [--seed S] [--id ID]
                                       [--native-only | --windows] [--list] [FILE...]

FILEs default to every source of expr/, guest/, plugin/ and toast/. For each mutant
it rebuilds the native build's test programs incrementally and runs the
suites (fastest first, each under a time and a memory limit) until one fails;
a mutant they all pass is tried once more in the sanitizer build, which sees
a read or write past a buffer. With --windows it rebuilds the DLL users
install and runs the Windows suites on it under Wine instead. The file is restored after each mutant, also
when the run is interrupted, and at the end, or when stopped, every build the
run touched is built again from the unchanged code, so that the next ctest
there tests the code in the tree. Mutants that docs/testing.md lists as equivalent,
by their id, are reported as such instead of as survivors.
"""
import argparse
import hashlib
import json
import os
import random
import re
import resource
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_DIRS = ("expr", "guest", "plugin", "toast")
SOURCE_SUFFIXES = (".cpp", ".h")
EQUIVALENTS_DOC = os.path.join(ROOT, "docs", "testing.md")
BACKUP = os.path.join(ROOT, "build", "mutate-backup.json")  # the original of a mutated file

# Per suite: its address space, or under AddressSanitizer its resident memory.
MEMORY_LIMIT_MB = 1024
BUILD_TIME_LIMIT = 600  # seconds
SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)

# --- Where the code is ------------------------------------------------------


def mask(text):
    """The text with comments, string and character literals, preprocessor
    lines and static_asserts blanked (line breaks kept), and the spans of the
    character literals. Raises IndexError on an unterminated literal."""
    out = list(text)
    literals = []

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    i, n, line_start = 0, len(text), True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            end = i
            while end < n and (text[end] != "\n" or text[end - 1] == "\\"):
                end += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2) + 2
        elif c in "\"'":
            end = i + 1
            while text[end] != c:
                end += 2 if text[end] == "\\" else 1
            end += 1
            if c == "'":
                literals.append((i, end))
        else:
            line_start = c == "\n" or (line_start and c in " \t")
            i += 1
            continue
        blank(i, end)
        i = end
    masked = "".join(out)
    for found in re.finditer(r"\bstatic_assert\s*\(", masked):
        blank(found.start(), matching(masked, found.end() - 1) + 1)
    return "".join(out), literals


def matching(code, open_at):
    """Index of the bracket that closes the one at open_at."""
    depth = 0
    for k in range(open_at, len(code)):
        depth += code[k] in "([{"
        depth -= code[k] in ")]}"
        if depth == 0:
            return k
    raise ValueError("unbalanced brackets")


def statement_end(code, start):
    """Index just past the ";" that ends the statement starting at start, or -1 if none."""
    depth = 0
    for k in range(start, len(code)):
        depth += code[k] in "([{"
        depth -= code[k] in ")]}"
        if code[k] == ";" and depth == 0:
            return k + 1
    return -1


# --- The faults ---------------------------------------------------------------

SWAPS = {"+": "-", "-": "+", "*": "/", "/": "*", "<": "<=", "<=": "<", ">": ">=",
         ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&", "++": "--", "--": "++"}
# Binary only when spaced: not a pointer, a unary minus or a template's bracket.
SPACED_ONLY = {"+", "-", "*", "/", "<", "<=", ">", ">="}
TOKEN = re.compile(r"0[xX][0-9a-fA-F]+[uUlL]*|\d[\w.]*|[A-Za-z_]\w*"
                   r"|->|\+\+|--|<<|>>|<=|>=|==|!=|&&|\|\||::|\S")
# Statements that are not declarations: ++x, delete p, f(...), a.b[i] = ..., break ...
EXPRESSION_STATEMENT = re.compile(
    r"(?!(?:if|for|while|switch|return|case)\b)"
    r"(?:\+\+|--|\*\(|\(void\)|delete\b|break;|continue;"
    r"|[A-Za-z_][\w.:]*(?:\[[^\]]*\])?(?:->\w+)*\s*(?:=(?!=)|\+=|-=|\(|\+\+|--))")
# A value that differs from whatever a function of each return type returned.
OTHER_VALUES = {"double": "0", "int": "0", "char": "0", "std::size_t": "0",
                "std::int32_t": "0", "std::uint32_t": "0", "std::uint8_t": "0",
                "std::uint64_t": "0", "LRESULT": "0", "UINT": "0",
                "TokenKind": "TokenKind::Other", "ByteClass": "ByteClass::Other"}


class Mutant:
    """The text of path with text[start:end] replaced, the lines it changes and a description."""

    def __init__(self, path, text, start, end, replacement, what):
        self.path, self.what = path, " ".join(what.split())
        self.line = text.count("\n", 0, start) + 1
        self.mutated = text[:start] + replacement + text[end:]
        first = text.rfind("\n", 0, start) + 1
        last = text.find("\n", end)
        last = len(text) if last < 0 else last
        self.before = text[first:last]
        self.after = self.mutated[first:last + len(self.mutated) - len(text)]
        self.id = None


def one_off(literal):
    """The literals one above and (if not negative) one below an integer
    literal; one above a decimal one."""
    if "." in literal:
        return [repr(float(literal) + 1)]
    digits = literal.rstrip("uUlL")
    suffix = literal[len(digits):]
    value = int(digits, 0)
    form = (lambda v: "0x%X" % v) if digits[:2] in ("0x", "0X") else str
    return [form(v) + suffix for v in (value + 1, value - 1) if v >= 0]


def in_function_body(code, at):
    """Whether offset at lies in a function's body rather than in a class,
    namespace or initializer."""
    depth = 0
    for k in range(at - 1, -1, -1):
        depth += code[k] == "}"
        depth -= code[k] == "{"
        if depth < 0:
            head = re.split(r"[;{}]", code[:k])[-1]
            return not re.search(r"\b(?:class|struct|union|enum|namespace|extern)\b|=\s*$", head)
    return False


def return_type(code, at):
    """The return type of the function whose body holds offset at, or None."""
    start = code.rfind("\n", 0, at) + 1
    if "](" in code[start:at]:
        return None  # a lambda's
    while start > 0 and (code[start] in " \t\n}{" or code.startswith("namespace", start)):
        start = code.rfind("\n", 0, start - 1) + 1
    signature = re.sub(r"__attribute__\(\(\w+\)\)|\b(?:CALC_PLUGIN_\w+|static|inline|constexpr)\b",
                       "", code[start:code.find("\n", start)])
    found = re.match(r"\s*(.*?)\s*\b[\w:~]+\s*\(", signature)
    return found.group(1) if found else None


def other_return(kind, value):
    """Something else for a function returning kind to return than value, or None."""
    if kind == "bool":
        if value in ("true", "false"):
            return {"true": "false", "false": "true"}[value]
        if re.fullmatch(r"[^&|<>]*[!=]=[^&|<>]*", value):
            return None  # one comparison: its own swap negates it
        return f"!({value})"
    if re.fullmatch(r"[\d.]+[uUlL]*|nullptr", value):
        return None  # a literal: its constants one off change it
    if kind and (kind.endswith("*") or "ptr" in kind.lower()):
        return "nullptr"
    other = OTHER_VALUES.get(kind)
    return other if other != value else None


def mutants_of(path):
    """Every mutant of the source file at path (relative to the project), in
    the order of its lines, each with its id. Raises on unbalanced brackets."""
    with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as f:
        text = f.read()
    code, literals = mask(text)
    found = []

    def add(start, end, replacement, what):
        found.append(Mutant(path, text, start, end, replacement, what))

    token_faults(text, code, add)
    statement_faults(code, add)
    character_faults(text, code, literals, add)
    found.sort(key=lambda m: (m.line, m.what))
    seen = {}
    for m in found:  # an id that stays while the line reads the same
        key = (m.path, m.before.strip(), m.after.strip())
        seen[key] = seen.get(key, -1) + 1
        m.id = hashlib.sha1(repr(key + (seen[key],)).encode()).hexdigest()[:8]
    return found


def token_faults(text, code, add):
    """Operators swapped, '-' and '!' removed, constants one off, conditions
    negated, one-statement bodies and return values changed."""
    tokens = [(m.group(), m.start(), m.end()) for m in TOKEN.finditer(code)]
    for k, (token, start, end) in enumerate(tokens):
        before = tokens[k - 1][0] if k > 0 else ""
        spaced = code[start - 1:start] == " " and code[end:end + 1] == " "
        if token in SWAPS and (spaced or token not in SPACED_ONLY):
            add(start, end, SWAPS[token], f"'{token}' -> '{SWAPS[token]}'")
        elif token == "-" and code[end:end + 1] != " " and before in ("(", "=", ",", "return"):
            add(start, end, "", "unary '-' removed")
        elif token == "!":
            add(start, end, "", "'!' removed")
        elif re.fullmatch(r"0[xX][0-9a-fA-F]+[uUlL]*|\d+(\.\d+|[uUlL]*)", token):
            for other in one_off(token):
                add(start, end, other, f"{token} -> {other}")
        elif token in ("if", "while", "for") and k + 1 < len(tokens) and tokens[k + 1][0] == "(":
            close = matching(code, tokens[k + 1][1])
            if token != "for":
                inner = text[tokens[k + 1][1] + 1:close]
                add(tokens[k + 1][1] + 1, close, f"!({inner})", f"{token} condition negated")
            body = len(code) - len(code[close + 1:].lstrip(" "))
            if code[body] not in "{;\n":
                add(body, statement_end(code, body), "{}", f"{token} body deleted")
        elif token == "return" and tokens[k + 1][0] != ";":
            stop = statement_end(code, end) - 1
            other = other_return(return_type(code, start), text[end:stop].strip())
            if other is not None:
                add(end, stop, " " + other, f"return {other}")


def statement_faults(code, add):
    """Each expression statement that starts a line of a function body deleted."""
    for line in re.finditer(r"^[ \t]*(\S.*)$", code, re.M):
        start = line.start(1)
        end = statement_end(code, start)
        starts = code[:start].rstrip()[-1:] in ("", ";", "{", "}", ":")
        if (starts and end > 0 and EXPRESSION_STATEMENT.match(code[start:end])
                and "{" not in code[start:end] and in_function_body(code, start)):
            add(start, end, "", "statement deleted")


def character_faults(text, code, literals, add):
    """Character constants one off where they bound a class: 'a' in c >= 'a'."""
    for start, end in literals:
        literal = text[start + 1:end - 1]
        if (len(literal) == 1 and re.search(r"(?:[-+<>=]|[<>=!]=)\s*$", code[:start])
                and in_function_body(code, start)):
            for other in (chr(ord(literal) + 1), chr(ord(literal) - 1)):
                if other.isprintable() and other not in "'\\":
                    add(start, end, f"'{other}'", f"'{literal}' -> '{other}'")


# --- Building and running -----------------------------------------------------

class Interrupted(Exception):
    """A signal asked the run to stop."""


def on_signal(number, frame):
    """Turns SIGINT, SIGTERM and SIGHUP into Interrupted, so that files are restored."""
    raise Interrupted(signal.Signals(number).name)


def run(command, cwd, time_limit, address_space=None, env=None, log=subprocess.DEVNULL):
    """Runs command in a session of its own; 'passed', 'failed' or 'timed out'.
    The whole session is killed on timeout and on interruption."""
    def limit():
        if address_space:
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        cpu = int(time_limit) + 1
        resource.setrlimit(resource.RLIMIT_CPU, (cpu, cpu))

    process = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=log,
                               stderr=subprocess.STDOUT, preexec_fn=limit,
                               start_new_session=True, env=env)
    try:
        return "passed" if process.wait(timeout=time_limit) == 0 else "failed"
    except subprocess.TimeoutExpired:
        return "timed out"
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


class Suites:
    """The suites of one preset's build as ctest knows them, the programs they
    need, their time limits and their running order: fastest first."""

    def __init__(self, preset):
        self.preset = preset
        self.build_dir = os.path.join(ROOT, "build", preset)
        self.configure(preset)
        with open(os.path.join(self.build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
            sanitized = "-fsanitize=address" in f.read()
        # AddressSanitizer reserves terabytes of address space; it watches
        # resident memory itself. Wine reserves much of its 4 GiB at start.
        self.address_space = None if sanitized or self.emulated() else MEMORY_LIMIT_MB << 20
        self.env = dict(os.environ, GTEST_FAIL_FAST="1")
        if sanitized:
            self.env["ASAN_OPTIONS"] = f"hard_rss_limit_mb={MEMORY_LIMIT_MB}"
        listing = self.listing()
        if any("command" not in test for test in listing["tests"]):
            # ctest names a test's program only once it is built: build them all once.
            subprocess.run(["cmake", "--build", self.build_dir], cwd=ROOT, check=True,
                           stdout=subprocess.DEVNULL)
            listing = self.listing()
        self.tests = []
        for test in listing["tests"]:
            cwd = next(p["value"] for p in test["properties"] if p["name"] == "WORKING_DIRECTORY")
            self.tests.append({"name": test["name"], "command": test["command"], "cwd": cwd,
                               "limit": None})
        # The programs of this build that a test runs, itself or through Wine or qemu.
        self.targets = sorted({os.path.basename(word).removesuffix(".exe")
                               for t in self.tests
                               for k, word in enumerate(t["command"])
                               if word.startswith(self.build_dir)
                               and (k == 0 or word.endswith(".exe"))})
        print(f"mutate: building and timing the {preset} suites")
        if not self.build():
            sys.exit(f"mutate: the unchanged code does not build in {preset}; "
                     f"see {self.build_dir}/mutate-build.log")
        self.calibrate()

    @staticmethod
    def configure(preset):
        """Configures the preset's build unless it is already."""
        if not os.path.exists(os.path.join(ROOT, "build", preset, "CMakeCache.txt")):
            subprocess.run(["cmake", "--preset", preset], cwd=ROOT, check=True,
                           stdout=subprocess.DEVNULL)

    def emulated(self):
        """Whether the suites run under Wine."""
        return False

    def listing(self):
        """The build's tests as ctest lists them."""
        return json.loads(subprocess.run(
            ["ctest", "--test-dir", self.build_dir, "--show-only=json-v1"],
            check=True, capture_output=True, text=True).stdout)

    def build(self):
        """Builds the suites' programs; whether that worked."""
        with open(os.path.join(self.build_dir, "mutate-build.log"), "a") as log:
            return run(["cmake", "--build", self.build_dir, "--target"] + self.targets,
                       ROOT, BUILD_TIME_LIMIT, log=log) == "passed"

    def run(self, test, time_limit):
        """Runs one suite under the limits; 'passed', 'failed' or 'timed out'."""
        return run(test["command"], test["cwd"], time_limit, self.address_space, self.env)

    def calibrate(self):
        """Runs each suite on the unchanged code and sets its time limit; all must pass."""
        for test in self.tests:
            began = time.monotonic()
            outcome = self.run(test, 600)
            took = time.monotonic() - began
            if outcome != "passed":
                sys.exit(f"mutate: {test['name']} {outcome} on the unchanged code")
            test["limit"] = 10 * took + 20
            print(f"  {test['name']}: {took:.2f} s, limit {test['limit']:.0f} s")
        self.tests.sort(key=lambda t: t["limit"])

    def first_failure(self):
        """The first suite that does not pass, and how; (None, 'survived') if all pass."""
        for test in self.tests:
            outcome = self.run(test, test["limit"])
            if outcome != "passed":
                return test["name"], "killed" if outcome == "failed" else outcome
        return None, "survived"


class WindowsSuites(Suites):
    """The Windows suites under Wine, on the DLL users install: each mutant
    rebuilds that DLL (windows-i686-release), which the test build places
    beside its programs, and the test build's programs that link the code."""

    RELEASE = "windows-i686-release"

    def __init__(self):
        self.configure(self.RELEASE)
        super().__init__("windows-i686")

    def emulated(self):
        return True

    def build(self):
        release = os.path.join(ROOT, "build", self.RELEASE)
        with open(os.path.join(self.build_dir, "mutate-build.log"), "w") as log:
            return (run(["cmake", "--build", release, "--target", "calcplugin"], ROOT,
                        BUILD_TIME_LIMIT, log=log) == "passed" and super().build())


# --- Mutating a file safely ---------------------------------------------------

def write(path, text):
    """Writes text to the project file at path, byte for byte as read."""
    with open(os.path.join(ROOT, path), "w", encoding="utf-8", newline="") as f:
        f.write(text)


def restore_leftover():
    """Puts back a file a killed earlier run left mutated."""
    if os.path.exists(BACKUP):
        with open(BACKUP, encoding="utf-8") as f:
            saved = json.load(f)
        write(saved["path"], saved["text"])
        os.remove(BACKUP)
        print(f"mutate: restored {saved['path']}, left mutated by an earlier run")


def try_mutant(mutant, original, suites):
    """Builds and tests one mutant; the original file is back when this returns or raises."""
    with open(BACKUP + ".new", "w", encoding="utf-8") as f:
        json.dump({"path": mutant.path, "text": original}, f)
    os.replace(BACKUP + ".new", BACKUP)
    try:
        write(mutant.path, mutant.mutated)
        if not suites.build():
            return None, "did not build"
        return suites.first_failure()
    finally:
        # Signals wait until the file is whole again.
        signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)
        write(mutant.path, original)
        os.remove(BACKUP)
        signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)


def listed_equivalents():
    """Ids of the mutants docs/testing.md lists as equivalent, in its Mutation check section."""
    if not os.path.exists(EQUIVALENTS_DOC):
        return set()
    with open(EQUIVALENTS_DOC, encoding="utf-8") as f:
        section = re.search(r"^## Mutation check$(.*?)(?=^## |\Z)", f.read(), re.M | re.S)
    return set(re.findall(r"^\| `([0-9a-f]{8})`", section.group(1), re.M)) if section else set()


def check(mutants, sanitizer, windows=False):
    """Tries each mutant in the native build (or, if `windows`, the Windows
    suites), and each that survives there (and is not listed) in the sanitizer
    build too if `sanitizer`, and prints its verdict; the counts of verdicts,
    the survivors and the time taken. Every build it touched is built again
    from the unchanged code at the end, also when the run is stopped."""
    restore_leftover()
    print(f"mutate: {len(mutants)} mutants")
    os.environ.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    native = WindowsSuites() if windows else Suites("native")
    touched = [native]  # the sanitizer build joins when the first mutant survives
    listed = listed_equivalents()
    counts = {}  # by verdict, and "sanitizer": caught only in the sanitizer build
    survivors = []
    began = time.monotonic()
    try:
        for k, m in enumerate(mutants, 1):
            with open(os.path.join(ROOT, m.path), encoding="utf-8", newline="") as f:
                original = f.read()
            suite, verdict = try_mutant(m, original, native)
            if verdict == "survived" and m.id not in listed and sanitizer:
                if len(touched) == 1:
                    touched.append(Suites("native-sanitize"))
                suite, verdict = try_mutant(m, original, touched[1])
                verdict = "survived" if verdict == "did not build" else verdict
                if suite:
                    suite += " in the sanitizer build"
                    counts["sanitizer"] = counts.get("sanitizer", 0) + 1
            shown = {"killed": f"killed by {suite}", "timed out": f"timed out in {suite}"}.get(
                verdict, verdict)
            if verdict == "survived" and m.id in listed:
                verdict = shown = "equivalent"
            elif verdict == "survived":
                survivors.append(m)
            elif m.id in listed:
                shown += " (listed as equivalent in docs/testing.md)"
            counts[verdict] = counts.get(verdict, 0) + 1
            print(f"[{k}/{len(mutants)}] {m.id} {m.path}:{m.line}: {m.what}: {shown}")
    finally:
        rebuild_originals(touched)
    return counts, survivors, time.monotonic() - began


def rebuild_originals(suites):
    """Builds each of `suites` again from the unchanged files, so that the
    next ctest in a build the run touched tests the code in the tree."""
    for build in suites:
        print(f"mutate: building {os.path.relpath(build.build_dir, ROOT)} again from the "
              f"unchanged code")
        if not build.build():
            print(f"mutate: it did not build; see {build.build_dir}/mutate-build.log")


def describe(m):
    """The mutant's id, place and change, and its line before and after."""
    return f"{m.id} {m.path}:{m.line}: {m.what}\n    - {m.before.strip()}\n    + {m.after.strip()}"


def report(counts, survivors, seconds):
    """Prints the summary, the score and each survivor."""
    tried = sum(counts.values()) - counts.get("sanitizer", 0)
    caught = counts.get("killed", 0) + counts.get("timed out", 0)
    built = tried - counts.get("did not build", 0)
    print(f"\nmutate: {tried} mutants in {seconds:.0f} s: "
          f"{counts.get('killed', 0)} killed, {counts.get('timed out', 0)} timed out "
          f"({counts.get('sanitizer', 0)} of these only in the sanitizer build), "
          f"{counts.get('equivalent', 0)} listed as equivalent, "
          f"{counts.get('survived', 0)} survived, {counts.get('did not build', 0)} did not build")
    if built:
        resolved = caught + counts.get("equivalent", 0)
        print(f"mutate: score {caught}/{built} = {100 * caught / built:.1f}% of the mutants that "
              f"built; {100 * resolved / built:.1f}% with the equivalent ones")
    for m in survivors:
        print("survived: " + describe(m))


def main():
    """Lists or tries the mutants the command line asks for; 1 if any survived unlisted."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="*", help="sources to mutate, relative to the project")
    parser.add_argument("--sample", type=int, help="try only N mutants chosen at random")
    parser.add_argument("--seed", type=int, default=1, help="seed of the sample (default 1)")
    parser.add_argument("--id", action="append", default=[],
                        help="try only the mutant with this id (repeatable)")
    parser.add_argument("--list", action="store_true", help="list the mutants and stop")
    parser.add_argument("--native-only", action="store_true",
                        help="do not try the native survivors in the sanitizer build")
    parser.add_argument("--windows", action="store_true",
                        help="run the Windows suites under Wine instead, on the DLL users "
                             "install (inside tools/wine-session.sh, which this starts)")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    if args.windows and "CALC_MUTATE_IN_WINE_SESSION" not in os.environ:
        # One Wine session, on a display of its own, for the whole run.
        subprocess.run(["cmake", "--build", "--preset", WindowsSuites.RELEASE], cwd=ROOT,
                       check=True, stdout=subprocess.DEVNULL)
        Suites.configure("windows-i686")
        subprocess.run(["cmake", "--build", "--preset", "windows-i686"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
        keepalive = os.path.join(ROOT, "build", "windows-i686", "bin", "wine_keepalive.exe")
        os.execvp("bash", ["bash", os.path.join(ROOT, "tools", "wine-session.sh"), keepalive,
                           "env", "CALC_MUTATE_IN_WINE_SESSION=1", sys.executable] + sys.argv)

    files = args.files or sorted(os.path.join(d, f) for d in SOURCE_DIRS
                                 for f in os.listdir(os.path.join(ROOT, d))
                                 if f.endswith(SOURCE_SUFFIXES))
    paths = [os.path.relpath(os.path.join(ROOT, path), ROOT) for path in files]
    mutants = [m for path in paths for m in mutants_of(path)]
    if args.id:
        mutants = [m for m in mutants if m.id in args.id]
    if args.sample is not None and args.sample < len(mutants):
        chosen = set(random.Random(args.seed).sample(range(len(mutants)), args.sample))
        mutants = [m for k, m in enumerate(mutants) if k in chosen]
    if args.list:
        for m in mutants:
            print(describe(m))
        print(f"{len(mutants)} mutants")
        return 0

    for number in SIGNALS:
        signal.signal(number, on_signal)
    try:
        counts, survivors, seconds = check(mutants, not (args.native_only or args.windows),
                                           args.windows)
    except Interrupted as stop:
        print(f"mutate: stopped by {stop}; every file is as it was")
        return 130
    report(counts, survivors, seconds)
    if not args.files and args.sample is None and not args.id:
        stale = listed_equivalents() - {m.id for m in mutants}
        if stale:
            print(f"mutate: docs/testing.md lists ids no mutant has: {' '.join(sorted(stale))}")
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""arm64_e2e_test.py ARM64_TREE ORVANE_DISPLAY_NAME KELMIS_DISPLAY_NAME

The ARM64 launchers of the tree, end to end under ARM64 Wine (through
qemu-user, tools/arm64-wine), driven from the build machine: there is no
C++ library, and so no GoogleTest, for that target. What is new there is
the toolchain and the platform code, and that is what the rows reach: the
arguments (element 0 quoted, kelmis's empty third argument, the hostile
argument rows that need no spare drive or share), the standard handles
(duplicated, or the NUL device), the start (no console window, exit code 1
whatever the tool's), the failures (the warning box read back and dismissed,
codes 2, 193 and 206), test mode, the DLL search limit through the start-up
trace, the hidden window that answers WM_CLOSE only after the stop, and the
stack guard's fast fail. The
portable core is the same code as on x64, whose own tests cover it.

Every row is a job for the ARM64 box reader (tools/boxreader), which starts
a launcher installed with the ARM64 probe as its tavrin.exe, with the exact
command line, environment and handles of the row, reads and dismisses its
box and reports its full exit code; all jobs run in one Wine session. The
probe's reports and the box reader's results are read back here and held to
the same expectations as the x64 end-to-end tests: the launchers' own
quoting rules as the oracle (tests/support/test_support.h), the platform's
splitting as the box reader reports it (CommandLineToArgvW under ARM64
Wine), the default texts of the box. Prints one line per row and
"N passed, M failed"; exits with 1 when a row failed.
"""
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
RUNNER = os.path.join(ROOT, "tools", "arm64-wine")
LONGEST_LINE = 32766  # units, without the terminator: the longest line Windows passes on whole
FIXED = {"orvane": ["convert", "-g"], "kelmis": ["create", "-g", ""]}


# --- text -------------------------------------------------------------------------

def units(text):
    """UTF-16 units of a text (lone surrogates kept)."""
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def same(text):
    """A text as one UTF-16 sequence, so that a pair of surrogates and the
    character they make compare equal."""
    return text.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "surrogatepass")


def unescape(value):
    """A value of the probe's report or the box reader's result (the escaping
    of tools/probe/probe_escape.h) back to text."""
    raw = value.encode("utf-8", "surrogateescape")
    out, i = [], 0
    while i < len(raw):
        if raw[i:i + 2] == b"\\\\":
            out.append("\\")
            i += 2
        elif raw[i:i + 2] == b"\\u":
            out.append(chr(int(raw[i + 2:i + 6], 16)))
            i += 6
        else:
            j = i + 1
            while j < len(raw) and raw[j] & 0xC0 == 0x80:
                j += 1
            out.append(raw[i:j].decode("utf-8"))
            i = j
    return same("".join(out))


def shown(text, limit=160):
    """A text for messages: escaped like the tests' escaped(), long ones cut."""
    out = "".join(c if " " <= c < "\x7f" and c != "\\" else "\\\\" if c == "\\" else
                  "".join("\\u%04X" % u for u in memoryview(c.encode("utf-16-le", "surrogatepass")).cast("H"))
                  for c in text)
    return out if len(out) <= limit else "%s ... (%d units) ... %s" % (out[:100], units(text), out[-40:])


def quoted_command_line(argv):
    """The launchers' quoting rules, as the tests' oracle writes them
    (tests/support/test_support.cpp): element 0 in quotes as it stands, the
    others quoted when empty or holding a blank or a tab, backslashes
    doubled only before a quote."""
    line = '"%s"' % argv[0]
    for arg in argv[1:]:
        line += " "
        enclose = arg == "" or " " in arg or "\t" in arg
        if enclose:
            line += '"'
        run = 0
        for c in arg:
            if c == '"':
                line += "\\" * (run + 1)
            run = run + 1 if c == "\\" else 0
            line += c
        if enclose:
            line += "\\" * run + '"'
    return line


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


# --- rows ---------------------------------------------------------------------------

class Row:
    """One launcher run: its set-up and what it must show."""

    def __init__(self, name, launcher, expect, args=None, tail=None, whole_line=None, tool=True, env=None,
                 check=None, job=None, program=None):
        # expect: "delivered", a box's code, or ("ended", code): no box, nothing started
        self.name, self.launcher, self.expect = name, launcher, expect
        self.args, self.tail, self.whole_line = args or [], tail, whole_line
        self.tool, self.env, self.check = tool, env or {}, check
        self.job = job or {}  # further keys of the box reader's job (handles, flags, window)
        self.test_mode = False
        self.program = program  # another program in the launcher's place (a test build)


def padded_args(length, seed, measure):
    """Arguments after `seed` that make measure(args) exactly `length`."""
    args = list(seed)
    letter = 0
    while measure(args) < length:
        left = length - measure(args)
        if left == 1:
            args[-1] += "z"
        else:
            args.append(chr(ord("a") + letter % 25) * min(left - 1, 1000))
            letter += 1
    return args if measure(args) == length else None


SEED_ARGS = ["a b", 'q"uote', "tail\\", "\u00e9\U0001F600", ""]
HANDLE_LINES = {"PROBE_STDIN": "1", "PROBE_STDOUT": "out \u00fc", "PROBE_STDERR": "err \U0001F600"}
STDIN_BYTES = b"input line\n\x01\xff tail"


def rows(install_of):
    """The rows. install_of(row) gives the folder a row's launcher lies in
    (the lines at the limit depend on its length)."""
    table = [
        Row("orvane without arguments: exactly the fixed ones, element 0 quoted", "orvane", "delivered"),
        Row("kelmis without arguments: its third argument is empty", "kelmis", "delivered"),
        Row("kelmis with one argument", "kelmis", "delivered", args=["x"]),
        Row("unpaired surrogates", "kelmis", "delivered",
            args=["\ud800", "a\udc00z", "\udbff\udbff", "\udfff\ud800", "x \ud83d", "\ude00 \""]),
        Row("thousands of empty arguments", "orvane", "delivered", args=[""] * 1234 + ["marker"] + [""] * 2765),
        Row("arguments of only quotes and backslashes", "orvane", "delivered",
            args=['"', '""', '"""', "\\", "\\\\\\", '\\"', '"\\', '\\"\\', '\\\\"\\\\', '" \\', '\\ "', "\\" * 300,
                  '"' * 300, '\\\\\\"""\\']),
        Row("hand-written runs of quotes and backslashes", "kelmis", "delivered",
            tail=' """""""" \\\\\\\\" \\"\\" "\\\\" a""b "\\\\\\\\'),
        Row("control characters, noncharacters and byte-order marks", "orvane", "delivered",
            args=["".join(chr(c) for c in range(1, 0x20)), "\x7f\x80\x9f", "\uffff\ufffe", "\ufeff", "a\rb\nc",
                  "\ufffd"]),
        Row("empty command line", "kelmis", "delivered", whole_line=""),
        Row("command line of blanks and tabs only", "orvane", "delivered", whole_line="  \t \t "),
        Row("doubled trailing backslashes push the tool's line past the limit", "orvane", 206,
            tail=' " "' + "\\" * 17000 + " last"),
        # Handles.
        Row("standard handles duplicated from files", "kelmis", "delivered", env=HANDLE_LINES,
            job={"stdin": "in.txt", "stdout": "out.txt", "stderr": "err.txt"},
            check=lambda row, result, report, folder: check_files_passed(report, folder)),
        Row("no standard handles: the NUL device", "orvane", "delivered", env=HANDLE_LINES, job={"handles": "none"},
            check=lambda row, result, report, folder: check_all_nul(report)),
        # The start. CREATE_NEW_CONSOLE (16): the launcher has a console
        # window of its own, which the tool must not share.
        Row("the tool's own console gets no window", "orvane", "delivered", args=["a b"], job={"flags": "16"},
            check=lambda row, result, report, folder: expect(not report["console_window"],
                                                             "the tool has a console window")),
        Row("the tool's exit code is not passed on", "kelmis", "delivered", env={"PROBE_EXIT": "3"}),
        # Failures.
        Row("tool missing: box, code 2 (orvane)", "orvane", 2, args=["a", "b c", 'q"uote', "tail\\", ""],
            tool=False),
        Row("tool missing: box, code 2 (kelmis)", "kelmis", 2, args=["%2 %(application_name)"], tool=False),
        Row("tool is a text file: code 193", "orvane", 193, args=["x y"], tool="text"),
    ]
    # The lines at the system's limit.
    for name, launcher, expected, length, own in (
            ("tool's line exactly at the limit (orvane)", "orvane", "delivered", LONGEST_LINE, False),
            ("tool's line exactly at the limit (kelmis)", "kelmis", "delivered", LONGEST_LINE, False),
            ("tool's line one unit past the limit", "orvane", 206, LONGEST_LINE + 1, False),
            ("own line at the system's limit", "kelmis", 206, LONGEST_LINE, True)):
        row = Row(name, launcher, expected)
        folder = install_of(row)
        launcher_path = folder + "\\" + launcher + ".exe"
        tool_path = folder + "\\tavrin.exe"
        if own:
            measure = lambda args: units(quoted_command_line([launcher_path] + args))  # noqa: E731
        else:
            measure = lambda args, l=launcher: units(quoted_command_line([tool_path] + FIXED[l] + args))  # noqa
        row.args = padded_args(length, SEED_ARGS, measure)
        table.append(row)
    # Test mode, the tool missing: the box shows the keys exactly when the
    # variable's value is true or non-zero in its low 32 bits.
    for value, decorated in (("1", True), ("0", False), ("0x1", True), ("4294967296", False), ("yesterday", True),
                             ("no", False)):
        row = Row("test mode [%s] %s" % (value, "on" if decorated else "off"), "kelmis", 2, args=["x y"],
                  tool=False, env={"VARNO_USERTEXTTESTMODE": value})
        row.test_mode = decorated
        table.append(row)
    # The hidden window while the tool runs, and the start-up trace.
    table.append(Row("hidden window: WM_CLOSE is answered only after the stop", "orvane", "delivered",
                     args=["framework e2e"], env={"PROBE_EXIT": "7"}, check=check_window, job={"window": "1"}))
    table.append(Row("start-up trace: the DLL search limited before anything else", "orvane", "delivered",
                     args=["x"], check=check_trace, program="startup_trace_launcher"))
    # The stack guard's failure, on this architecture's own fast fail.
    table.append(Row("a broken stack guard ends the program at once", "orvane", ("ended", 0xC0000409), tool=False,
                     program="stack_guard_breaker"))
    return table


# --- checks --------------------------------------------------------------------------

class Failed(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failed(message)


def check_files_passed(report, folder):
    for k, name in enumerate(("input", "output", "error")):
        expect(report["handles"][name]["type"] == "disk", "%s is %s, not the file" % (name, report["handles"][name]))
    expect(report["stdin_data"] == STDIN_BYTES, "standard input read %r" % report["stdin_data"])
    for file, line in (("out.txt", HANDLE_LINES["PROBE_STDOUT"]), ("err.txt", HANDLE_LINES["PROBE_STDERR"])):
        with open(os.path.join(folder, file), "rb") as f:
            written = f.read()
        expect(written.startswith((line + "\n").encode("utf-8")), "%s holds %r" % (file, written[:200]))


def check_all_nul(report):
    for name, facts in report["handles"].items():
        expect(facts["present"] and facts["nul"], "%s is not the NUL device: %s" % (name, facts))
    for key in ("stdin_read", "stdout_write", "stderr_write"):
        expect(report.get(key) == "ok", "%s: %s" % (key, report.get(key)))
    expect(report["stdin_data"] == b"", "standard input read %r" % report["stdin_data"])


def check_window(row, result, report, folder):
    facts = result["facts"]
    wanted = {
        "window": "found=1 visible=0",           # hidden
        "close_refused": "answered=0 error=1460",  # a sender that gives up gets no answer while the tool runs
        "other_answered": "1",                     # other messages are answered meanwhile
        "close_held": "answered=0",                # one that waits is held...
        "close_answered": "answered=1 result=0",   # ... until the tool has ended and the launcher stopped
        "window_after": "0",
    }
    for key, value in wanted.items():
        expect(facts.get(key) == value, "%s: %s, expected %s" % (key, facts.get(key), value))


def expected_trace():
    """The start-up and exit order that the x64 trace test holds its trace
    build to (tests/launcher/startup_trace_test.cpp): the same list, read from
    there."""
    with open(os.path.join(ROOT, "tests", "launcher", "startup_trace_test.cpp"), encoding="utf-8") as f:
        source = f.read()
    block = re.search(r"const std::vector<std::string> expected = \{(.*?)\n  \};", source, re.S)
    lines = re.findall(r'^\s*"([^"]*)",', block.group(1), re.M) if block else []
    if len(lines) < 10:
        raise Failed("the expected trace could not be read from startup_trace_test.cpp")
    return lines


def check_trace(row, result, report, folder):
    with open(os.path.join(folder, "trace.txt"), encoding="utf-8") as f:
        trace = f.read().split("\n")[:-1]
    wanted = expected_trace()
    expect(trace == wanted, "trace:\n    %s\nexpected:\n    %s" % ("\n    ".join(trace), "\n    ".join(wanted)))


# --- reading back ----------------------------------------------------------------------

def parse_report(text):
    report = {"args": [], "handles": {}, "stdin_data": b"", "console_window": None}
    for line in text.split("\n"):
        key, _, rest = line.partition(" ")
        if key == "arg":
            report["args"].append(unescape(rest))
        elif key in ("command_line", "module"):
            report[key] = unescape(rest)
        elif key == "handle":
            name, *pairs = rest.split(" ")
            facts = dict(p.split("=") for p in pairs)
            report["handles"][name] = {"present": facts["present"] == "1", "type": facts["type"],
                                       "nul": facts["nul"] == "1"}
        elif key == "console_window":
            report["console_window"] = rest == "1"
        elif key in ("stdin_read", "stdout_write", "stderr_write"):
            report[key] = rest
        elif key == "stdin_data":
            report["stdin_data"] = bytes(ord(c) for c in unescape(rest))
    if not text.endswith("end\n"):
        raise Failed("the tool's report is incomplete")
    return report


def parse_result(text):
    result = {"facts": {}, "split": []}
    for line in text.split("\n"):
        key, _, rest = line.partition(" ")
        if key in ("title", "text"):
            result[key] = unescape(rest)
        elif key == "split":
            result["split"].append(unescape(rest))
        elif key:
            result["facts"][key] = rest
    return result


def tool_vector(row, folder_windows):
    return [folder_windows + "\\tavrin.exe"] + FIXED[row.launcher] + row.args


def check_row(row, result, reports, folder, folder_windows):
    facts = result["facts"]
    expect(facts.get("start_error") == "0", "the box reader could not start it: %s" % facts.get("start_error"))
    if row.tail is not None or row.whole_line is not None:
        # Lines written by hand: the tool gets what the platform's splitting
        # makes of the launcher's own line.
        row.args = result["split"][1:]
    elif result["split"][1:] != [same(a) for a in row.args]:
        raise Failed("the platform splits the launcher's line to %s, not to the row's arguments"
                     % [shown(a) for a in result["split"][1:12]])
    if isinstance(row.expect, tuple):
        expect(facts.get("box") == "no", "a box: %s" % shown(result.get("text", "")))
        expect(facts.get("exit") == str(row.expect[1]), "exit code %s, not %d" % (facts.get("exit"), row.expect[1]))
        expect(not reports, "something was started")
    elif row.expect == "delivered":
        expect(facts.get("box") == "no", "a box: %s" % shown(result.get("text", "")))
        expect(facts.get("exit") == "1", "exit code %s, not 1" % facts.get("exit"))
        expect(len(reports) == 1, "%d tool processes reported" % len(reports))
        report = parse_report(reports[0])
        wanted = [same(a) for a in tool_vector(row, folder_windows)]
        if report["args"] != wanted:
            first = next((i for i, (a, b) in enumerate(zip(report["args"], wanted)) if a != b),
                         min(len(report["args"]), len(wanted)))
            raise Failed("the tool got %d arguments, expected %d; first difference at %d: %s, expected %s" % (
                len(report["args"]), len(wanted), first, shown(report["args"][first]) if first < len(report["args"])
                else "(none)", shown(wanted[first]) if first < len(wanted) else "(none)"))
        expect(report["command_line"] == same(quoted_command_line(wanted)),
               "the tool's command line %s" % shown(report["command_line"]))
        expect(report["module"] == wanted[0], "another program ran: %s" % shown(report["module"]))
        if row.check:
            row.check(row, result, report, folder)
    else:
        expect(not reports, "something was started")
        expect(facts.get("box") == "yes", "no box")
        expect(facts.get("exit") == str(row.expect), "exit code %s, not %s" % (facts.get("exit"), row.expect))
        name = DISPLAY_NAMES[row.launcher]
        title = "(application_name) " + name if row.test_mode else name
        expect(result["title"] == title, "title %s, expected %s" % (shown(result["title"]), shown(title)))
        text = "ERROR: %d  Unable to run command \"%s\".\n" % (row.expect, quoted_command_line(
            tool_vector(row, folder_windows)))
        if row.test_mode:
            text = "(error_running_command) " + text
        expect(result["text"] == same(text), "text %s\nexpected %s" % (shown(result["text"]), shown(text)))


# --- the run ------------------------------------------------------------------------------

def job_bytes(pairs):
    return b"".join((k + "\0" + v + "\0").encode("utf-16-le", "surrogatepass") for k, v in pairs)


def main(tree, orvane_name, kelmis_name):
    global DISPLAY_NAMES
    DISPLAY_NAMES = {"orvane": orvane_name, "kelmis": kelmis_name}
    tree = os.path.abspath(tree)
    work = os.path.join(tree, "arm64-e2e")
    shutil.rmtree(work, ignore_errors=True)
    jobs = os.path.join(work, "jobs")
    os.makedirs(jobs)
    programs = {"orvane": "src/launcher/orvane.exe", "kelmis": "src/launcher/kelmis.exe",
                "probe": "tools/probe/probe.exe", "boxreader": "tools/boxreader/boxreader.exe",
                "startup_trace_launcher": "tests/e2e/startup_trace_launcher.exe",
                "stack_guard_breaker": "tests/e2e/stack_guard_breaker.exe",
                "planted": "tools/planted_dll/planted_dll.dll"}
    for key, path in programs.items():
        programs[key] = os.path.join(tree, path)
        if not os.path.isfile(programs[key]):
            sys.exit("FAILED: %s is not built" % programs[key])

    # A decoy beside the installs' folders: a launcher that looked for its
    # tool outside its own folder would start it, and its report would name
    # another program.
    shutil.copy(programs["probe"], os.path.join(work, "tavrin.exe"))
    counter = iter(range(1000))
    folders = {}

    def install_of(row):
        if id(row) not in folders:
            folders[id(row)] = os.path.join(work, "run %02d" % next(counter))
        return windows_path(folders[id(row)])

    table = rows(install_of)
    for index, row in enumerate(table):
        install_of(row)
        folder = folders[id(row)]
        reports = os.path.join(folder, "reports")
        os.makedirs(reports)
        launcher = os.path.join(folder, row.launcher + ".exe")
        shutil.copy(programs[row.program] if row.program else programs[row.launcher], launcher)
        if row.tool is True:
            shutil.copy(programs["probe"], os.path.join(folder, "tavrin.exe"))
        elif row.tool == "text":
            with open(os.path.join(folder, "tavrin.exe"), "w") as f:
                f.write("not a program\r\n")
        win = windows_path(folder)
        launcher_win = win + "\\" + row.launcher + ".exe"
        if row.whole_line is not None:
            pairs = [("program", launcher_win), ("line", row.whole_line)]
        elif row.tail is not None:
            pairs = [("line", '"%s"%s' % (launcher_win, row.tail))]
        else:
            pairs = [("line", quoted_command_line([launcher_win] + row.args))]
        env = {"PROBE_REPORT": win + "\\reports", "VARNO_USERTEXTTESTMODE": ""}
        env.update(row.env)
        for name, value in env.items():
            pairs.append(("set", "%s=%s" % (name, value)))
        for key, value in row.job.items():
            if key in ("stdin", "stdout", "stderr"):
                value = win + "\\" + value
            pairs.append((key, value))
        if "stdin" in row.job:
            with open(os.path.join(folder, "in.txt"), "wb") as f:
                f.write(STDIN_BYTES)
        if "window" in row.job:
            pairs += [("set", "PROBE_WAIT_FOR=%s\\release" % win), ("set", "PROBE_WAIT_LIMIT=60000"),
                      ("report", win + "\\reports"), ("release", win + "\\release")]
        if row.program == "startup_trace_launcher":
            shutil.copy(programs["planted"], os.path.join(folder, "planted.dll"))
            pairs += [("set", "STARTUP_TRACE_FILE=%s\\trace.txt" % win), ("set", "STARTUP_TRACE_PLANTED_DLL=planted.dll")]
        with open(os.path.join(jobs, "%02d.job" % index), "wb") as f:
            f.write(job_bytes(pairs))

    # One Wine session for every job, two at a time.
    run = subprocess.run([RUNNER, "run", "--timeout", "900", programs["boxreader"], "--jobs", windows_path(jobs),
                          "--parallel", "2"], stdin=subprocess.DEVNULL, capture_output=True, text=True,
                         errors="replace")
    if run.returncode != 0:
        print(run.stdout + run.stderr)
        print("FAILED: the box reader ended with %d" % run.returncode)

    passed = failed = 0
    for index, row in enumerate(table):
        folder = folders[id(row)]
        label = "%s (%s)" % (row.name, row.launcher)
        try:
            try:
                with open(os.path.join(jobs, "%02d.result" % index), encoding="utf-8", errors="surrogateescape") as f:
                    result = parse_result(f.read())
            except OSError:
                raise Failed("no result: the box reader did not finish the run")
            reports = []
            for name in sorted(os.listdir(os.path.join(folder, "reports"))):
                if name.endswith(".txt"):
                    with open(os.path.join(folder, "reports", name), encoding="utf-8", errors="surrogateescape") as f:
                        reports.append(f.read())
            check_row(row, result, reports, folder, windows_path(folder))
            passed += 1
            print("ok      %s" % label)
        except Failed as failure:
            failed += 1
            print("FAILED  %s: %s" % (label, failure))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or run.returncode != 0 else 0


DISPLAY_NAMES = {}

if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.split("\n\n")[0])
    sys.exit(main(*sys.argv[1:4]))

#!/usr/bin/env python3
"""The sanitizer suite's rerun rule (scripts/sanitizer_reruns.py) on made-up ctest JUnit reports.

    rerun_rule_test.py HELPER CMAKE

Only failures whose output shows the leak tracer's crash may run again; the expression printed for
them must select those tests and no others, as CMake's own regex engine reads it.
"""
import os
import subprocess
import sys
import tempfile

CRASH = "==7==LeakSanitizer has encountered a fatal error.\nTracer caught signal 11: addr=0x0 pc=0x1\n"


def case(name, status, output="", skipped=None):
    inner = f'<skipped message="{skipped}"/>' if skipped is not None else ""
    if status == "fail":
        inner += '<failure message=""/>'
    return (f'<testcase name="{name}" classname="{name}" status="{status}">{inner}'
            f'<system-out>{output}</system-out></testcase>')


def report(*cases):
    return '<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="x">' + "".join(cases) + "</testsuite>\n"


PASSING = [case("Good.One", "run", "fine"), case("Skip.Me", "notrun", "", "SKIP_RETURN_CODE=77"),
           case("Off.One", "disabled", "Disabled")]

# (what, report, exit status, names selected to run again, words the error output must hold)
CASES = [
    ("tracer crashes only", report(*PASSING, case("Gl/Exit.Crash/0", "fail", "frame 3\n" + CRASH),
                                   case("Other.Crash", "fail", CRASH)),
     0, ["Gl/Exit.Crash/0", "Other.Crash"], []),
    ("a finding beside a tracer crash", report(*PASSING, case("Gl.Crash", "fail", CRASH),
                                               case("Heap.UseAfterFree", "fail", "ERROR: AddressSanitizer")),
     1, [], ["Heap.UseAfterFree"]),
    ("a plain failure", report(*PASSING, case("Plain.Fails", "fail", "Expected equality")), 1, [], ["Plain.Fails"]),
    ("a test that could not start", report(*PASSING, case("No.Program", "notrun", "Unable to find executable",
                                                          "Unable to find executable")),
     1, [], ["No.Program"]),
    ("ctest failed with every test passing", report(*PASSING), 1, [], ["no failed test"]),
    ("no report", None, 2, [], ["cannot read"]),
]

# Names the selection must not pick up although they look alike.
NEAR_MISSES = ["Gl/Exit.Crash/00", "Gl/ExitxCrash/0", "xGl/Exit.Crash/0", "OtherxCrash", "Other.Crash2", "Good.One"]


def cmake_matches(cmake, regex, name, folder):
    script = os.path.join(folder, "match.cmake")
    with open(script, "w") as out:
        out.write('if("${NAME}" MATCHES "${REGEX}")\n  message("yes")\nelse()\n  message("no")\nendif()\n')
    result = subprocess.run([cmake, f"-DNAME={name}", f"-DREGEX={regex}", "-P", script],
                            capture_output=True, text=True, check=True)
    return result.stderr.strip() == "yes"


def main(helper, cmake):
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for what, xml, status, selected, words in CASES:
            path = os.path.join(folder, "report.xml")
            if os.path.exists(path):
                os.remove(path)
            if xml is not None:
                with open(path, "w") as out:
                    out.write(xml)
            result = subprocess.run([sys.executable, helper, path], capture_output=True, text=True)
            if result.returncode != status:
                failures.append(f"{what}: exit {result.returncode}, expected {status} ({result.stderr.strip()})")
                continue
            for word in words:
                if word not in result.stderr:
                    failures.append(f"{what}: error output lacks {word!r}: {result.stderr.strip()!r}")
            regex = result.stdout.strip()
            if not selected:
                if regex:
                    failures.append(f"{what}: selected {regex!r} to run again")
                continue
            for name in selected:
                if not cmake_matches(cmake, regex, name, folder):
                    failures.append(f"{what}: {regex!r} does not select {name}")
            for name in NEAR_MISSES:
                if cmake_matches(cmake, regex, name, folder):
                    failures.append(f"{what}: {regex!r} also selects {name}")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(CASES)} cases, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))

#!/usr/bin/env python3
"""Which failed tests of a sanitizer run may run again.

    sanitizer_reruns.py REPORT.xml

REPORT.xml is the JUnit report of a ctest run that failed (ctest --output-junit). The leak checker
stops every thread of a process at its exit, and now and then its tracer crashes while a GL driver's
threads wind down; the test's output then carries "Tracer caught signal". Only a failure that shows
this may be run again: any other failure is a finding and fails the suite at once.

Prints a ctest regular expression (for -R) that selects exactly the failed tests to run again and
exits 0 when every failure shows the tracer's crash. Exits 1, naming the other failures on standard
error, when any failure does not, or when the report holds no failure at all (ctest failed for a
reason the report does not show). Exits 2 when the report cannot be read.
"""
import sys
import xml.etree.ElementTree as ElementTree

SIGNATURE = "Tracer caught signal"


def failed_tests(report):
    """(name, output) of every test that did not pass. Skipped and disabled tests passed."""
    failed = []
    for case in report.iter("testcase"):
        status = case.get("status", "")
        skipped = case.find("skipped")
        # ctest also reports a test it could not start as "notrun", with a <skipped> message that
        # says why; only its own skip rules (SKIP_RETURN_CODE, SKIP_REGULAR_EXPRESSION) are skips.
        really_skipped = (status == "notrun" and skipped is not None
                          and skipped.get("message", "").startswith("SKIP_"))
        if status in ("run", "disabled") or really_skipped:
            continue
        output = "".join(element.text or "" for element in case.iter("system-out"))
        failed.append((case.get("name", ""), output))
    return failed


def ctest_regex(names):
    """A ctest -R expression matching exactly these names (CMake's regex: a backslash makes any
    character literal)."""
    quoted = ["".join(c if c.isalnum() or c == "_" else "\\" + c for c in name) for name in names]
    return "^(" + "|".join(quoted) + ")$"


def main(argv):
    if len(argv) != 2:
        print("usage: sanitizer_reruns.py REPORT.xml", file=sys.stderr)
        return 2
    try:
        report = ElementTree.parse(argv[1])
    except (OSError, ElementTree.ParseError) as error:
        print(f"sanitizer_reruns: cannot read {argv[1]}: {error}", file=sys.stderr)
        return 2
    failed = failed_tests(report)
    if not failed:
        print("sanitizer_reruns: ctest failed, but its report names no failed test", file=sys.stderr)
        return 1
    findings = [name for name, output in failed if SIGNATURE not in output]
    if findings:
        for name in findings:
            print(f"sanitizer_reruns: {name} failed with a finding (no tracer crash): not run again",
                  file=sys.stderr)
        return 1
    print(ctest_regex([name for name, _ in failed]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

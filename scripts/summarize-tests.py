#!/usr/bin/env python3
"""Counts the test cases of a whole run and prints 'N passed, M failed'.

Arguments: --ctest <junit.xml> <report-dir> (once per build configuration) and
--checks <file> (lines 'PASS name' or 'FAIL name' from the test script's own
checks, and 'SKIP name<TAB>reason' for a test that this machine cannot run). A CTest test with a GoogleTest report counts as its cases; one
without a report counts as one test. A program that failed although its
report shows no failed case (a crash at exit, a sanitizer report) adds one
failure of its own.
"""
import argparse
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(report):
    passed, failed, skipped, failures = 0, 0, 0, []
    for case in ET.parse(report).getroot().iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        if case.find("failure") is not None:
            failed += 1
            failures.append(name)
        elif case.get("result") == "skipped" or case.find("skipped") is not None:
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped, failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ctest", nargs=2, action="append", default=[], metavar=("JUNIT", "REPORTS"))
    parser.add_argument("--checks", action="append", default=[])
    args = parser.parse_args()

    passed = failed = skipped = 0
    failures = []
    for junit, reports in args.ctest:
        config = os.path.basename(os.path.dirname(os.path.abspath(junit)))
        if not os.path.exists(junit):
            failed += 1
            failures.append(f"{config}: no CTest results")
            continue
        for case in ET.parse(junit).getroot().iter("testcase"):
            name = case.get("name")
            program_failed = case.get("status") != "run" or case.find("failure") is not None
            report = os.path.join(reports, name + ".xml")
            if os.path.exists(report):
                p, f, s, names = gtest_counts(report)
                passed, failed, skipped = passed + p, failed + f, skipped + s
                failures += [f"{config}: {n}" for n in names]
                if program_failed and f == 0:
                    failed += 1
                    failures.append(f"{config}: {name} (the program failed)")
            elif program_failed:
                failed += 1
                failures.append(f"{config}: {name}")
            else:
                passed += 1

    skip_reasons = {}
    for checks in args.checks:
        if not os.path.exists(checks):
            continue
        for line in open(checks, encoding="utf-8"):
            verdict, _, name = line.strip().partition(" ")
            if verdict == "PASS":
                passed += 1
            elif verdict == "FAIL":
                failed += 1
                failures.append(name)
            elif verdict == "SKIP":
                skipped += 1
                name, _, reason = name.partition("\t")
                skip_reasons[reason] = skip_reasons.get(reason, 0) + 1

    for reason, count in skip_reasons.items():
        print(f"SKIPPED: {reason} ({count} tests)")
    for name in failures:
        print(f"FAILED: {name}")
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

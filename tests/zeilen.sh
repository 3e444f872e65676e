#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Counts the lines that carry code, neither blank nor comment nor docstring, of
# the program (src/, C++), its C++ tests (tests/*.cpp, tests/support) and its
# end-to-end harness (tests/e2e/*.py), and sets them against the test budget:
# C++ tests at most 1,200 lines, the end-to-end harness at most 1,400.
# Prints one line per part and the ratios; exits 1 when a budget is exceeded.
# Benchmarks (bench/) and fuzzers (fuzz/) are not tests and not counted.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
exec python3 - "$@" <<'PY'
import glob, io, re, sys, tokenize

def cpp(text):
    """Lines of C++ with code left once comments are taken out."""
    text = re.sub(r'"(?:\\.|[^"\\\n])*"', '""', text)   # strings cannot hide a comment
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    return sum(1 for z in text.splitlines() if re.sub(r"//.*", "", z).strip())

def python(text):
    """Lines of Python that hold a token other than a comment or a docstring."""
    zeilen, vorher = set(), tokenize.NEWLINE
    for t in tokenize.generate_tokens(io.StringIO(text).readline):
        if t.type in (tokenize.COMMENT, tokenize.NL, tokenize.NEWLINE, tokenize.INDENT,
                      tokenize.DEDENT, tokenize.ENDMARKER):
            if t.type == tokenize.NEWLINE:
                vorher = t.type
            continue
        if t.type == tokenize.STRING and vorher in (tokenize.NEWLINE, tokenize.INDENT,
                                                     tokenize.DEDENT):
            vorher = None  # a string standing alone as a statement: a docstring
            continue
        vorher = t.type
        zeilen.update(range(t.start[0], t.end[0] + 1))
    return len(zeilen)

def summe(muster, zaehlen):
    dateien = sorted({d for m in muster for d in glob.glob(m, recursive=True)})
    return sum(zaehlen(open(d, encoding="utf-8").read()) for d in dateien)

programm = summe(["src/**/*.cpp", "src/**/*.h"], cpp)
cpp_tests = summe(["tests/*.cpp", "tests/support/*.cpp", "tests/support/*.h"], cpp)
e2e = summe(["tests/e2e/*.py"], python)
print("lines of code: program %d, C++ tests %d (%.2fx, budget 1200), end-to-end harness %d "
      "(%.2fx, budget 1400)" % (programm, cpp_tests, cpp_tests / programm, e2e, e2e / programm))
sys.exit(0 if cpp_tests <= 1200 and e2e <= 1400 else 1)
PY

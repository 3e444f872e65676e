#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Counts the lines that carry code, neither blank nor comment nor docstring, of
# the program (src/, C++) and of every test file under tests/: C++, Python and
# shell. Sets them against the test budget: the C++ tests at most a quarter of
# the program, all tests together at most half of it. Prints one line per part
# and the ratios (with -v every file's count as well); exits 1 over a budget.
# Benchmarks (bench/) and fuzz targets (fuzz/) are not tests and not counted.
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

def shell(text):
    """Lines of shell that are neither blank nor a comment."""
    return sum(1 for z in text.splitlines() if z.strip() and not z.strip().startswith("#"))

def summe(muster, zaehlen):
    dateien = sorted({d for m in muster for d in glob.glob(m, recursive=True)})
    zahlen = {d: zaehlen(open(d, encoding="utf-8").read()) for d in dateien}
    if "-v" in sys.argv[1:]:
        for d, n in zahlen.items():
            print("%6d  %s" % (n, d))
    return sum(zahlen.values())

programm = summe(["src/**/*.cpp", "src/**/*.h"], cpp)
cpp_tests = summe(["tests/**/*.cpp", "tests/**/*.h"], cpp)
py_tests = summe(["tests/**/*.py"], python)
sh_tests = summe(["tests/**/*.sh"], shell)
alle = cpp_tests + py_tests + sh_tests
print("lines of code: program %d; tests %d (%.2fx, budget 0.50x): C++ %d (%.2fx, budget "
      "0.25x), Python %d (%.2fx), shell %d (%.2fx)"
      % (programm, alle, alle / programm, cpp_tests, cpp_tests / programm, py_tests,
         py_tests / programm, sh_tests, sh_tests / programm))
sys.exit(0 if cpp_tests <= 0.25 * programm and alle <= 0.5 * programm else 1)
PY

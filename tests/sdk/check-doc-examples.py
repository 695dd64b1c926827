#!/usr/bin/env python3
"""Compiles the code examples of Markdown pages, so that documented code
cannot rot.

Every fenced block is checked by its language tag:
  c++      a translation unit of its own, compiled (-c) with the C++ compiler
  c        the same with the C compiler
  csharp   compiled as a library with the C# compiler
  powershell  the C# of every Add-Type here-string (@" ... "@) is compiled
           as a C# library; PowerShell itself is not checked
  python   compiled by Python (syntax only)
Other blocks (sh, cmake, text, unmarked) are left alone. Prints one line per
example and exits 1 when one fails or a page has no example at all.

usage: check-doc-examples.py --cxx CXX --cc CC --csharp MCS [--include DIR]... PAGE...
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```([A-Za-z+#]*)\s*$")
WARNINGS = ["-Wall", "-Wextra", "-Werror"]


def blocks(path):
    """(line number, language, text) of every fenced block of a page."""
    found, language, start, lines = [], None, 0, []
    with open(path, encoding="utf-8") as page:
        for number, line in enumerate(page, 1):
            match = FENCE.match(line.rstrip("\n"))
            if language is None and match:
                language, start, lines = match.group(1), number, []
            elif language is not None and line.rstrip() == "```":
                found.append((start, language, "".join(lines)))
                language = None
            elif language is not None:
                lines.append(line)
    return found


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    return result.returncode == 0, (result.stdout + result.stderr).strip()


def check(language, text, work, args):
    """(checked, passed, output) of one block."""
    includes = [f"-I{d}" for d in args.include]
    if language == "c++":
        source = os.path.join(work, "example.cpp")
        command = [args.cxx, "-std=c++17", *WARNINGS, *includes, "-c", source, "-o", source + ".o"]
    elif language == "c":
        source = os.path.join(work, "example.c")
        command = [args.cc, "-std=c11", *WARNINGS, *includes, "-c", source, "-o", source + ".o"]
    elif language == "csharp":
        source = os.path.join(work, "example.cs")
        command = [args.csharp, "-target:library", "-warnaserror+", f"-out:{source}.dll", source]
    elif language == "powershell":
        parts = re.findall(r'@"\n(.*?)\n"@', text, re.S)
        if not parts:
            return False, True, ""
        text = "\n".join(parts)
        source = os.path.join(work, "example.cs")
        command = [args.csharp, "-target:library", "-warnaserror+", f"-out:{source}.dll", source]
    elif language == "python":
        try:
            compile(text, "example.py", "exec")
            return True, True, ""
        except SyntaxError as error:
            return True, False, str(error)
    else:
        return False, True, ""
    with open(source, "w", encoding="utf-8") as out:
        out.write(text)
    passed, output = run(command)
    return True, passed, output


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cxx", required=True)
    parser.add_argument("--cc", required=True)
    parser.add_argument("--csharp", required=True)
    parser.add_argument("--include", action="append", default=[])
    parser.add_argument("pages", nargs="+")
    args = parser.parse_args()

    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for page in args.pages:
            checked = 0
            for line, language, text in blocks(page):
                was_checked, passed, output = check(language, text, work, args)
                if not was_checked:
                    continue
                checked += 1
                where = f"{os.path.basename(page)}:{line} ({language})"
                if passed:
                    print(f"ok: {where}")
                else:
                    failures += 1
                    print(f"FAIL: {where}\n{output}")
            if checked == 0:
                failures += 1
                print(f"FAIL: {page} has no example to check")
    print(f"{'FAIL' if failures else 'PASS'}: {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

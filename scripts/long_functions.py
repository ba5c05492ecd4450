#!/usr/bin/env python3
"""Lists the product's functions longer than a limit (60 lines by default).

A function's length is its physical lines, from the line that names it to its
closing brace, blank lines and comments included: what a reader scrolls
through. Lambdas count towards the function they stand in. The product is
every C++ file git tracks, except tests/, fuzz/, bench/ and build folders.

Usage: scripts/long_functions.py [--limit N] [PATH...]
Exits 1 when a function is over the limit, so a check can call it.
Needs universal-ctags (scripts/setup.sh installs it).
"""
import argparse
import json
import shutil
import subprocess
import sys
from pathlib import Path

SOURCE_ENDINGS = (".cpp", ".cc", ".cxx", ".h", ".hpp", ".c")
NOT_PRODUCT = ("tests/", "fuzz/", "bench/", "build")


def product_files(root: Path, paths):
    listed = subprocess.run(["git", "ls-files", "--", *paths], cwd=root, check=True,
                            capture_output=True, text=True).stdout.split()
    return [f for f in listed if f.endswith(SOURCE_ENDINGS) and not f.startswith(NOT_PRODUCT)]


def function_spans(root: Path, files):
    """Yields (file, line, end, name) for each function definition ctags finds."""
    ctags = shutil.which("ctags-universal") or shutil.which("ctags")
    if ctags is None:
        sys.exit("long_functions: universal-ctags is missing (run scripts/setup.sh)")
    out = subprocess.run([ctags, "--output-format=json", "--fields=+neZ", "--kinds-C++=f",
                          "--kinds-C=f", "--language-force=C++", "-o", "-", *files],
                         cwd=root, check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        tag = json.loads(line)
        if tag.get("_type") != "tag" or "end" not in tag or tag["name"].startswith("__anon"):
            continue
        scope = tag.get("scope", "")
        name = tag["name"] if not scope or "__anon" in scope else f"{scope}::{tag['name']}"
        yield tag["path"], tag["line"], tag["end"], name


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--limit", type=int, default=60, help="longest allowed, in lines")
    parser.add_argument("paths", nargs="*", help="folders or files (default: the whole product)")
    args = parser.parse_args()
    root = Path(subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True,
                               capture_output=True, text=True).stdout.strip())
    files = product_files(root, args.paths)
    long_ones = sorted(((end - line + 1, path, line, name)
                        for path, line, end, name in function_spans(root, files)
                        if end - line + 1 > args.limit), reverse=True)
    for length, path, line, name in long_ones:
        print(f"{length:4d}  {path}:{line}  {name}")
    print(f"{len(long_ones)} function(s) over {args.limit} lines in {len(files)} files", file=sys.stderr)
    return 1 if long_ones else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Finds functions of more than LIMIT lines, which do more than one job: in Python files by
their syntax tree, in shell scripts as shfmt lays them out (NAME() { to the } at its indent).
Prints each as FILE:LINE: NAME is N lines and fails if there is any.

usage: function-length.py FILE...
"""
import ast
import re
import sys

LIMIT = 50
SHELL_FUNCTION = re.compile(r"^(\s*)([\w-]+)\(\) \{$")


def python_functions(text):
    for node in ast.walk(ast.parse(text)):
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
            yield node.name, node.lineno, node.end_lineno - node.lineno + 1


def shell_functions(text):
    lines = text.split("\n")
    for start, line in enumerate(lines):
        opened = SHELL_FUNCTION.match(line)
        if opened:
            closing = opened.group(1) + "}"
            end = lines.index(closing, start) if closing in lines[start:] else len(lines) - 1
            yield opened.group(2), start + 1, end - start + 1


def main(paths):
    found = 0
    for path in paths:
        text = open(path, encoding="utf-8").read()
        functions = python_functions(text) if path.endswith(".py") else shell_functions(text)
        for name, line, length in functions:
            if length > LIMIT:
                print("%s:%d: %s is %d lines, more than %d" % (path, line, name, length, LIMIT))
                found += 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""Fails when an #include runs against the layer order of cmake/layers.txt.

A source file in a folder of the list may include headers of its own
folder and of the folders listed before it, never of a folder listed after
it. Tests beside the code (*_test.cc) obey the same rule, except that they
may use the shared test helpers in tests/. Each offending line is printed
as FILE:LINE: what it includes, and the exit status is 1.

Usage: check_layers.py SOURCE_DIR
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"')


def layers(root):
    with open(os.path.join(root, "cmake", "layers.txt")) as f:
        return [line.strip() for line in f if re.match(r"^[a-z]", line)]


def offences(root, order):
    rank = {name: i for i, name in enumerate(order)}
    found = []
    for folder in order:
        path = os.path.join(root, folder)
        for name in sorted(os.listdir(path)):
            if not name.endswith((".h", ".cc")):
                continue
            is_test = name.endswith("_test.cc")
            with open(os.path.join(path, name), encoding="latin-1") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = match.group(1)
                    if target == "tests" and is_test:
                        continue
                    if target not in rank or rank[target] > rank[folder]:
                        found.append(f"{folder}/{name}:{number}: includes {line.strip()[len('#include '):]}"
                                     f" ({folder} may use only {', '.join(order[:rank[folder] + 1])})")
    return found


def self_test():
    """The check finds an upward and an unknown include, and passes a tree
    that keeps the order."""
    import tempfile
    with tempfile.TemporaryDirectory() as root:
        os.makedirs(os.path.join(root, "cmake"))
        with open(os.path.join(root, "cmake", "layers.txt"), "w") as f:
            f.write("# order\nlow\nhigh\n")
        files = {"low/a.h": '#include "low/b.h"\n', "low/b.cc": '#include "high/c.h"\n',
                 "high/c.h": '#include "low/a.h"\n', "high/c_test.cc": '#include "tests/t.h"\n',
                 "low/d.cc": '#include "elsewhere/e.h"\n'}
        for name, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
            with open(os.path.join(root, name), "w") as f:
                f.write(text)
        found = offences(root, layers(root))
        assert len(found) == 2 and found[0].startswith("low/b.cc:1:"), found
        assert found[1].startswith("low/d.cc:1:"), found
    return 0


def main():
    if sys.argv[1] == "--self-test":
        return self_test()
    root = sys.argv[1]
    order = layers(root)
    missing = [folder for folder in order if not os.path.isdir(os.path.join(root, folder))]
    if missing:
        print("layers without a folder: " + ", ".join(missing))
        return 1
    found = offences(root, order)
    for line in found:
        print(line)
    print(f"{len(order)} layers checked: {len(found)} includes against the order")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

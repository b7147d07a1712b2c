#!/usr/bin/env python3
"""Fails when an #include leaves the layer graph of cmake/layers.txt.

Each line "folder: a b c" of the graph lists the folders whose headers the
sources of a folder may include besides its own; each of them must be
listed on an earlier line, so the graph has no cycle and the file reads
from the bottom up. "folder (tests): d" adds what the tests beside the
code (*_test.cc, and their helpers *_test_support.h) may include; every
test may also include the shared helpers of tests/. An include counts when it is quoted and names a folder
("folder/name.h", blanks allowed around the #), or is angled and names one
of the program's folders (<folder/name.h>). A quoted include with a folder
that is not the program's ("../x.h", "/x.h", "elsewhere/x.h") is an offence
too.

A folder that may use another but includes none of its headers is an
offence as well, so that the graph stays the one the code has and each
library links only what it uses (the build reads the same file).

Each offence is printed on a line of its own, and the exit status is 1.

Usage: check_layers.py SOURCE_DIR
       check_layers.py --self-test SOURCE_DIR
"""
import os
import re
import shutil
import sys
import tempfile

GRAPH_LINE = re.compile(r"^([a-z_]+)( \(tests\))?:((?:[ \t]+[a-z_]+)*)[ \t]*$")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]*)"|<([^>]*)>)')


class Graph:
    def __init__(self):
        self.order = []    # the folders from the bottom up
        self.uses = {}     # folder -> the folders its sources may include
        self.test_uses = {}  # folder -> what its tests may include besides
        self.errors = []   # lines of the graph that break its rules


def read_graph(text):
    graph = Graph()
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        where = f"cmake/layers.txt:{number}: "
        match = GRAPH_LINE.match(line)
        if not match:
            graph.errors.append(where + f"not 'folder: folders' nor 'folder (tests): folders': {line}")
            continue
        folder, tests, used = match.group(1), match.group(2), match.group(3).split()
        if tests:
            if folder not in graph.uses:
                graph.errors.append(where + f"tests of {folder}, which no earlier line lists")
                continue
            target = graph.test_uses.setdefault(folder, [])
        else:
            if folder in graph.uses:
                graph.errors.append(where + f"{folder} is listed twice")
                continue
            graph.order.append(folder)
            target = graph.uses.setdefault(folder, [])
        for name in used:
            if name not in graph.uses or name == folder:
                graph.errors.append(where + f"{folder} uses {name}, which no earlier line lists")
            elif name in target or (tests and name in graph.uses[folder]):
                graph.errors.append(where + f"{folder} lists {name} twice")
            else:
                target.append(name)
    return graph


def read_graph_file(root):
    with open(os.path.join(root, "cmake", "layers.txt")) as f:
        return read_graph(f.read())


def included(line, folders):
    """The include of a line as (folder, what): the folder is the first
    part of a quoted include's path, or of an angled one's when it is one
    of `folders`; None when the line is no such include."""
    match = INCLUDE.match(line)
    if not match:
        return None
    quoted, angled = match.group(1), match.group(2)
    path = quoted if quoted is not None else angled
    if "/" not in path:
        return None
    folder = path.split("/", 1)[0]
    if angled is not None and folder not in folders and folder != "tests":
        return None
    return folder, (f'"{path}"' if quoted is not None else f"<{path}>")


def sources(root, folder):
    """The .h and .cc files of a folder and its sub-folders, as paths from
    the folder."""
    base = os.path.join(root, folder)
    for here, dirs, files in os.walk(base):
        dirs.sort()
        for name in sorted(files):
            if name.endswith((".h", ".cc")):
                yield os.path.relpath(os.path.join(here, name), base)


def offences(root, graph):
    found = []
    folders = set(graph.order)
    for folder in graph.order:
        uses = graph.uses[folder]
        test_uses = graph.test_uses.get(folder, [])
        used_by_code, used_by_tests = set(), set()
        for name in sources(root, folder):
            is_test = name.endswith("_test.cc") or name.endswith("_test_support.h")
            with open(os.path.join(root, folder, name), encoding="latin-1") as f:
                for number, line in enumerate(f, 1):
                    include = included(line, folders)
                    if not include:
                        continue
                    target, what = include
                    if target == folder:
                        continue
                    if target in uses:
                        (used_by_tests if is_test else used_by_code).add(target)
                        continue
                    if is_test and target in test_uses:
                        used_by_tests.add(target)
                        continue
                    if is_test and target == "tests":
                        continue
                    allowed = uses + test_uses + ["tests"] if is_test else uses
                    found.append(f"{folder}/{name}:{number}: includes {what} ({folder}"
                                 + (" tests" if is_test else "") + " may use "
                                 + (", ".join([folder] + allowed)) + ")")
        for name in uses:
            if name not in used_by_code:
                found.append(f"cmake/layers.txt: {folder} may use {name}, but no source of "
                             f"{folder} includes its headers"
                             + (" (only tests do: list it for its tests)" if name in used_by_tests else ""))
        for name in test_uses:
            if name not in used_by_tests:
                found.append(f"cmake/layers.txt: the tests of {folder} may use {name}, "
                             f"but none includes its headers")
    return found


def check(root):
    """Every error of the graph and every offence of the tree at root."""
    graph = read_graph_file(root)
    missing = [f"cmake/layers.txt: {folder} has no folder" for folder in graph.order
               if not os.path.isdir(os.path.join(root, folder))]
    if graph.errors or missing:
        return graph, graph.errors + missing
    return graph, offences(root, graph)


def write_tree(root, files):
    for name, text in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
        with open(os.path.join(root, name), "w") as f:
            f.write(text)


def self_test(source_dir):
    """The reading of include lines, of the graph and its errors, the
    offences of a small tree, and an include that the real graph forbids
    though the folder comes after the one it includes."""
    folders = {"format", "records"}
    assert included('#include "format/fields.h"', folders) == ("format", '"format/fields.h"')
    assert included('  #  include   "records/fire_history.h"  // why', folders)[0] == "records"
    assert included('\t#include\t"a/b/c.h"', folders)[0] == "a"
    assert included('#include"format/x.h"', folders)[0] == "format"
    assert included('#include <format/x.h>', folders) == ("format", "<format/x.h>")
    assert included('#include <tests/t.h>', folders)[0] == "tests"
    assert included('#include "../records/x.h"', folders)[0] == ".."
    assert included('#include "/abs/x.h"', folders)[0] == ""
    for line in ['#include "own_header.h"', "#include <vector>", "#include <sys/stat.h>",
                 '// #include "format/x.h"', '#define include "format/x.h"', "",
                 '#include "format/x.h', "#include <format/x.h"]:
        assert included(line, folders) is None, line

    graph = read_graph("# comment\nlow:\nmid: low\nhigh: low\nhigh (tests): mid\n")
    assert graph.order == ["low", "mid", "high"] and graph.errors == [], graph.errors
    assert graph.uses == {"low": [], "mid": ["low"], "high": ["low"]}
    assert graph.test_uses == {"high": ["mid"]}
    bad = read_graph("a: b\nb:\nb:\nc: c\nd (tests): a\nb (tests): b\ne: b b\nf x\n")
    assert [e.split(":")[1] for e in bad.errors] == ["1", "3", "4", "5", "6", "7", "8"], bad.errors

    with tempfile.TemporaryDirectory() as root:
        graph_text = "low:\nmid: low\nhigh: low\nhigh (tests): mid\ntop: low mid\n"
        write_tree(root, {
            "cmake/layers.txt": graph_text,
            "low/a.h": '#include "low/b.h"\n#include <vector>\n',
            "low/b.cc": '#include "high/c.h"\n',                 # upward
            "low/d.cc": '#include "elsewhere/e.h"\n',            # not a folder of the program
            "mid/f.h": '#include"low/a.h"\n',
            "mid/g.cc": "#include <high/c.h>\n",                 # upward, angled
            "high/c.h": '#include "low/a.h"\n',
            "high/h.cc": '#include "mid/f.h"\n',                 # the chain allowed it, the graph not
            "high/c_test.cc": '#include "mid/f.h"\n#include "tests/t.h"\n',
            "high/sub/i.cc": '#include "../mid/f.h"\n',
            "top/j.cc": '#include "low/a.h"\n',                  # mid listed but not used
        })
        found = check(root)[1]
        expected = ["low/b.cc:1:", "low/d.cc:1:", "mid/g.cc:1:", "high/h.cc:1:",
                    "high/sub/i.cc:1:", "cmake/layers.txt: top may use mid"]
        assert len(found) == len(expected), found
        for line, start in zip(found, expected):
            assert line.startswith(start), (line, start)
        assert "(high may use high, low)" in found[3], found[3]
        # The same include in a test beside the code is allowed by the tests' line.
        write_tree(root, {"high/h.cc": '#include "low/a.h"\n', "high/sub/i.cc": "",
                          "low/b.cc": "", "low/d.cc": "", "mid/g.cc": "",
                          "top/j.cc": '#include "low/a.h"\n#include "mid/f.h"\n'})
        assert check(root)[1] == [], check(root)[1]
        # A test line that no test needs is an offence too.
        write_tree(root, {"high/c_test.cc": '#include "tests/t.h"\n'})
        assert check(root)[1] == ["cmake/layers.txt: the tests of high may use mid, but none "
                                  "includes its headers"], check(root)[1]

    # The program's own tree, with console/ including analysis/: the layer
    # order allows it (analysis comes first), the graph does not.
    with tempfile.TemporaryDirectory() as root:
        graph = read_graph_file(source_dir)
        assert graph.errors == [], graph.errors
        assert graph.order.index("analysis") < graph.order.index("console")
        shutil.copytree(os.path.join(source_dir, "cmake"), os.path.join(root, "cmake"))
        for folder in graph.order:
            shutil.copytree(os.path.join(source_dir, folder), os.path.join(root, folder))
        assert check(root)[1] == [], check(root)[1]
        write_tree(root, {"console/planted.cc": '#include "console/console.h"\n'
                                                '#include "analysis/simulation.h"\n'})
        found = check(root)[1]
        assert len(found) == 1 and found[0].startswith("console/planted.cc:2: includes "
                                                       '"analysis/simulation.h"'), found
    return 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--self-test":
        return self_test(sys.argv[2])
    if len(sys.argv) != 2:
        print("usage: check_layers.py SOURCE_DIR | --self-test SOURCE_DIR")
        return 2
    graph, found = check(sys.argv[1])
    for line in found:
        print(line)
    print(f"{len(graph.order)} layers checked: {len(found)} offences against cmake/layers.txt")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

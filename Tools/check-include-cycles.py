#!/usr/bin/env python3
"""Fails when folders include each other.

For each tree given (default: Src and TestHost), every quoted #include of a file in the tree is
resolved (beside the including file first, then from the tree's root and the other roots of the
build's include path) and becomes an edge from the including file's folder to the included file's
folder. A cycle among those folders is printed and the script exits with 1.
Usage: Tools/check-include-cycles.py [TREE ...]
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
INCLUDE_ROOTS = [ROOT / "Src", ROOT / "Platform", ROOT / "TestHost", ROOT]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def resolve(including: pathlib.Path, name: str):
    for base in [including.parent] + INCLUDE_ROOTS:
        candidate = (base / name).resolve()
        if candidate.is_file():
            return candidate
    return None


def folder_graph(tree: pathlib.Path):
    edges = {}
    for source in sorted(tree.rglob("*")):
        if source.suffix not in (".hpp", ".cpp", ".h") or not source.is_file():
            continue
        for name in INCLUDE.findall(source.read_text(encoding="utf-8", errors="replace")):
            target = resolve(source, name)
            if target is None or tree not in target.parents:
                continue
            here, there = source.parent.relative_to(ROOT), target.parent.relative_to(ROOT)
            if here != there:
                edges.setdefault(str(here), {}).setdefault(str(there), f"{source.relative_to(ROOT)} -> {name}")
    return edges


def find_cycle(edges):
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for successor in sorted(edges.get(node, {})):
            if state.get(successor) == "open":
                return stack[stack.index(successor):] + [successor]
            if successor not in state:
                cycle = visit(successor)
                if cycle:
                    return cycle
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            cycle = visit(node)
            if cycle:
                return cycle
    return None


def main(trees):
    failed = False
    for name in trees or ["Src", "TestHost"]:
        tree = (ROOT / name).resolve()
        edges = folder_graph(tree)
        cycle = find_cycle(edges)
        if cycle:
            failed = True
            print(f"{name}: folders include each other: {' -> '.join(cycle)}")
            for here, there in zip(cycle, cycle[1:]):
                print(f"  {edges[here][there]}")
        else:
            print(f"{name}: no include cycle between its {len(set(edges) | {t for e in edges.values() for t in e})} folders")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

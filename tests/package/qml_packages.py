#!/usr/bin/env python3
"""Prints the Debian packages holding the QML modules Tillory's views import, and the modules those import in
turn, one a line. The package check compares them with the .deb's Depends: the views load these at run time,
where dpkg-shlibdeps cannot see them."""
import pathlib
import re
import subprocess
import sys

IMPORT = re.compile(r"^(?:import|depends)\s+([A-Za-z][\w.]*)", re.M)


def imports(text):
    return set(IMPORT.findall(text))


def main(source, qml_root):
    wanted = set()
    for view in pathlib.Path(source).rglob("*.qml"):
        wanted |= imports(view.read_text())
    seen, packages = set(), set()
    while wanted:
        module = wanted.pop()
        if module in seen:
            continue
        seen.add(module)
        folder = pathlib.Path(qml_root, *module.split("."))
        qmldir = folder / "qmldir"
        if not qmldir.exists():
            sys.exit(f"no QML module {module} under {qml_root}")
        # "optional import" lines are styles Tillory does not use; they do not match IMPORT.
        wanted |= imports(qmldir.read_text())
        for file in folder.glob("*.qml"):
            wanted |= imports(file.read_text())
        owner = subprocess.run(["dpkg", "-S", str(qmldir)], capture_output=True, text=True, check=True)
        packages.add(owner.stdout.split(":")[0])
    print("\n".join(sorted(packages)))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])

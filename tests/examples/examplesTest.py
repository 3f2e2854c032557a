#!/usr/bin/env python3
"""The library package as another project sees it, and the guide against examples/.
  install SOURCE BUILD PACKAGE  cmake --install into PACKAGE; check the tree; compile every
                                installed header against the six targets
  run SOURCE PACKAGE WORK NAME  build examples/NAME against PACKAGE with the project's toolchain,
                                run it under Wine, compare its output with the guide's
  snippets SOURCE               every code block of the guide is a marked piece of examples/"""
import re
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

GUIDE = "docs/library.md"
TARGETS = "support framework containers diagnostics platform settings"


def cmake_project(source, build, package):
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja",
                    f"-DCMAKE_TOOLCHAIN_FILE={SOURCE}/cmake/mingw-w64-x86_64.cmake",
                    f"-DCMAKE_PREFIX_PATH={package}", "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Werror"], check=True)
    subprocess.run(["cmake", "--build", build], check=True)


def install(build, package):
    shutil.rmtree(package, ignore_errors=True)
    subprocess.run(["cmake", "--install", build, "--prefix", package], check=True)
    headers = sorted(p.relative_to(package / "include") for p in package.glob("include/*/*.h"))
    missing = [f for f in ("Logsmith.exe", "logsmithctl.exe",
                           "lib/cmake/Logsmith/LogsmithConfigVersion.cmake")
               if not (package / f).is_file()]
    seams = [str(h) for h in headers if h.name.endswith("Testing.h")]
    if missing or seams:
        sys.exit(f"missing: {missing}; test seams installed: {seams}")
    project = build / "tests/examples/allHeaders"
    shutil.rmtree(project, ignore_errors=True)
    project.mkdir(parents=True)
    (project / "all.cpp").write_text("".join(f'#include "{h.as_posix()}"\n' for h in headers))
    targets = " ".join(f"Logsmith::{t}" for t in TARGETS.split())
    (project / "CMakeLists.txt").write_text(f"""cmake_minimum_required(VERSION 3.25)
project(allHeaders CXX)
find_package(Logsmith 2 QUIET)
if(Logsmith_FOUND)
    message(FATAL_ERROR "version 2 was accepted")
endif()
find_package(Logsmith 1.0 REQUIRED)
add_library(allHeaders STATIC all.cpp)
target_link_libraries(allHeaders PRIVATE {targets})""")
    cmake_project(project, project / "build", package)


def guide_output(name):
    found = re.search(rf"<!-- examples/{name} prints -->\n```text\n(.*?)```", read(GUIDE), re.S)
    if not found:
        sys.exit(f"{GUIDE} shows no output of examples/{name}")
    # The timer's ticks differ from run to run.
    return re.escape(found.group(1)).replace(re.escape("<16 hex digits>"), "[0-9a-f]{16}")


def run(package, work, name):
    expected = guide_output(name)
    shutil.rmtree(work, ignore_errors=True)
    cmake_project(SOURCE / "examples" / name, work / "build", package)
    ran = subprocess.run([SOURCE / "scripts/wine-exec", f"./{name}Example.exe"],
                         cwd=work / "build", stdin=subprocess.DEVNULL, capture_output=True)
    output = ran.stdout.decode("ascii", "replace").replace("\r", "")
    print(output)
    if ran.returncode != 0 or not re.fullmatch(expected, output):
        sys.exit(f"exit code {ran.returncode}; the guide shows another output")


def read(relative):
    return (SOURCE / relative).read_text()


def snippets():
    pieces = {}
    for file in sorted((SOURCE / "examples").rglob("*")):
        marked = re.findall(r"^[ \t]*(?://|#) guide: (\S+)\n(.*?)^[ \t]*(?://|#) guide end$",
                            read(file.relative_to(SOURCE)) if file.is_file() else "", re.M | re.S)
        pieces.update({f"{file.parent.name}/{n}": textwrap.dedent(t) for n, t in marked})
    blocks = re.findall(r"^```(?:cpp|cmake)\n(.*?)^```$", read(GUIDE), re.M | re.S)
    strays = [b.splitlines()[0] for b in blocks if b not in pieces.values()]
    unused = [n for n, t in pieces.items() if t not in blocks]
    if strays or unused or not blocks:
        sys.exit(f"guide blocks not in examples/ (first lines): {strays}\n"
                 f"marked pieces missing from the guide: {unused}")


SOURCE = Path(sys.argv[2])
if sys.argv[1] == "install":
    install(Path(sys.argv[3]), Path(sys.argv[4]))
elif sys.argv[1] == "run":
    run(Path(sys.argv[3]), Path(sys.argv[4]), sys.argv[5])
else:
    snippets()

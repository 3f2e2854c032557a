#!/usr/bin/env python3
"""The library package as another project sees it, and the guide against examples/.
  install SOURCE BUILD PACKAGE [TOOLCHAIN]
      cmake --install into PACKAGE; check the tree and the release zip; compile every installed
      header against the six targets
  run SOURCE PACKAGE WORK NAME [TOOLCHAIN]
      build the installed examples/NAME against PACKAGE, run it under Wine, compare its output
      with the guide's
  snippets SOURCE
      every code block of the guide is a marked piece of examples/
Programs are compiled with the installed toolchain file, or with TOOLCHAIN where given (the
second compiler's build names its own)."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap
import zipfile
from pathlib import Path

GUIDE = "docs/library.md"
TARGETS = "support framework containers diagnostics platform settings"
TOOLCHAIN = "lib/cmake/Logsmith/mingw-w64-x86_64.cmake"
DOCS = "share/doc/Logsmith"
PROGRAMS = ("Logsmith.exe", "logsmithctl.exe")
OTHER_TOOLCHAIN = None


def cmake_project(source, build, package):
    toolchain = OTHER_TOOLCHAIN or package / TOOLCHAIN
    # Through the environment, the warnings come on top of the toolchain file's own flags.
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja",
                    f"-DCMAKE_TOOLCHAIN_FILE={toolchain}",
                    f"-DCMAKE_PREFIX_PATH={package}", "-DCMAKE_BUILD_TYPE=Release"], check=True,
                   env=dict(os.environ, CXXFLAGS="-Wall -Wextra -Werror"))
    subprocess.run(["cmake", "--build", build], check=True)


def check_release_zip(build):
    """The zip keeps the programs and documents at its top, and nothing of the library."""
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["cpack", "--config", build / "CPackConfig.cmake", "-B", out], check=True,
                       stdout=subprocess.DEVNULL)
        names = zipfile.ZipFile(next(Path(out).glob("*.zip"))).namelist()
    top = {n.split("/")[1] + ("/" if n.count("/") > 1 else "") for n in names}
    expected = {*PROGRAMS, "README.md", "manual.md", "manual.html", "Logsmith.png",
                "PolicyDefinitions/"}
    if top != expected or any("/include/" in n or "/lib/" in n for n in names):
        sys.exit(f"release zip: {sorted(names)}")


def install(build, package):
    shutil.rmtree(package, ignore_errors=True)
    subprocess.run(["cmake", "--install", build, "--prefix", package], check=True)
    headers = sorted(p.relative_to(package / "include") for p in package.glob("include/*/*.h"))
    examples = sorted(p.name for p in (SOURCE / "examples").iterdir() if p.is_dir())
    missing = [f for f in (*(f"bin/{p}" for p in PROGRAMS),
                           "lib/cmake/Logsmith/LogsmithConfigVersion.cmake", TOOLCHAIN,
                           f"{DOCS}/library.md",
                           *(f"{DOCS}/examples/{e}/CMakeLists.txt" for e in examples))
               if not (package / f).is_file()]
    at_top = sorted(p.name for p in package.iterdir() if p.is_file())
    seams = [str(h) for h in headers if h.name.endswith("Testing.h")]
    # The installed toolchain stands alone: it names no file of the source tree.
    toolchain = (package / TOOLCHAIN).read_text() if (package / TOOLCHAIN).is_file() else ""
    if missing or at_top or seams or "scripts" in toolchain or str(SOURCE) in toolchain:
        sys.exit(f"missing: {missing}; files at the top: {at_top}; test seams installed: {seams};"
                 " or the installed toolchain file names the source tree")
    check_release_zip(build)
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
    cmake_project(package / DOCS / "examples" / name, work / "build", package)
    ran = subprocess.run([SOURCE / "scripts/wine-exec", f"./{name}Example.exe"],
                         cwd=work / "build", stdin=subprocess.DEVNULL, capture_output=True)
    # The examples write UTF-8 when their output is not a console.
    output = ran.stdout.decode("utf-8", "replace").replace("\r", "")
    print(output)
    if ran.returncode != 0 or not re.fullmatch(expected, output):
        sys.exit(f"exit code {ran.returncode}; the guide shows another output")


def read(relative):
    return (SOURCE / relative).read_text(encoding="utf-8")


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
    OTHER_TOOLCHAIN = sys.argv[5] if len(sys.argv) > 5 else None
    install(Path(sys.argv[3]), Path(sys.argv[4]))
elif sys.argv[1] == "run":
    OTHER_TOOLCHAIN = sys.argv[6] if len(sys.argv) > 6 else None
    run(Path(sys.argv[3]), Path(sys.argv[4]), sys.argv[5])
else:
    snippets()

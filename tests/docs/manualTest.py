#!/usr/bin/env python3
"""The user manual against the tool it describes.

- Every message quoted in the troubleshooting table occurs in the program's sources or in the
  output of the manual's samples.
- Every command that `logsmithctl --help` lists has a section, and every option of the command's
  own help is named in it.
- Every sample output in the manual is what the built tool prints. A sample is an indented block
  after a line `<!-- sample: COMMAND; COMMAND; ... -->` (logsmithctl or reg commands): they run in
  that order in a Wine prefix of the test's own, and the last one's output must match the block,
  with the prefix's user folder written as the manual writes it (and without a line saying that
  the Task Scheduler could not be asked).

    manualTest.py SOURCE_DIR LOGSMITHCTL_EXE WORK_DIR
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

SOURCE, TOOL, WORK = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
MANUAL = (SOURCE / "docs" / "manual.md").read_text(encoding="utf-8")
failures = []


def fail(message):
    failures.append(message)
    print("FAILED:", message)


def sources_text():
    """The program's sources with string literals split over lines joined again."""
    text = ""
    for folder in ("cli", "app", "settings", "platform", "diagnostics"):
        for path in sorted((SOURCE / folder).glob("*.[ch]*")):
            text += path.read_text(encoding="utf-8", errors="replace") + "\n"
    return re.sub(r'"\s*\n\s*L?"', "", text)


def section(heading):
    """The text of a manual section up to the next heading of the same or a higher level."""
    match = re.search(rf"^(#+) {re.escape(heading)}\s*$", MANUAL, re.M)
    if not match:
        return None
    level = len(match.group(1))
    rest = MANUAL[match.end():]
    end = re.search(rf"^#{{1,{level}}} ", rest, re.M)
    return rest[: end.start()] if end else rest


def check_troubleshooting(outputs):
    table = section("Troubleshooting") or ""
    program = sources_text() + "\n".join(outputs)
    quoted = 0
    for row in re.findall(r"^\|(.+?)\|", table, re.M):
        for message in re.findall(r"`([^`]+)`", row):
            if message.startswith("logsmithctl "):
                continue  # a command to run, not a message
            for piece in (p.strip(" .") for p in message.split("...")):
                if len(piece) >= 4:
                    quoted += 1
                    if piece not in program:
                        fail(f"troubleshooting quotes {piece!r}, which the program never says")
    if quoted == 0:
        fail("the troubleshooting table quotes no message")


def wine_environment(prefix):
    return dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win64", WINEDEBUG="-all",
                WINEDLLOVERRIDES="mscoree,mshtml=")


def run_tool(arguments, prefix):
    result = subprocess.run(["wine", str(TOOL), *arguments], env=wine_environment(prefix),
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


def listed(help_text, title):
    """The first words of the lines under a help heading such as SUBCOMMANDS: or OPTIONS:."""
    match = re.search(rf"^{title}:\s*\n((?:[ \t]+\S.*\n?)+)", help_text, re.M | re.I)
    return re.findall(r"^\s+(\S+)", match.group(1), re.M) if match else []


def check_help(prefix):
    _, overview = run_tool(["--help"], prefix)
    commands = listed(overview, "SUBCOMMANDS")
    if not commands:
        fail("logsmithctl --help lists no command")
    for command in commands:
        text = section(command)
        if text is None:
            fail(f"the manual has no section for {command}")
            continue
        _, own = run_tool([command, "--help"], prefix)
        for option in listed(own, "OPTIONS") + listed(own, "POSITIONALS"):
            for name in option.split(","):
                if name.startswith("--") and name not in ("--help",) and name not in text:
                    fail(f"the manual's {command} section does not name {name}")


def samples():
    """(commands, expected output) for each marked sample."""
    found = []
    pattern = re.compile(r"^<!-- sample: (.+?) -->[ \t]*\n(?:[ \t]*\n)*((?: {4}.*\n)+)", re.M)
    for match in pattern.finditer(MANUAL):
        commands = [shlex.split(c.strip(), posix=False) for c in match.group(1).split(";")]
        block = "\n".join(line[4:] for line in match.group(2).rstrip("\n").split("\n")) + "\n"
        found.append((commands, block))
    return found


def run_sample_command(arguments, prefix):
    """A manual's command line: logsmithctl ARGS or reg ARGS. The output of logsmithctl."""
    words = [a.strip('"') for a in arguments]
    if words[0] == "reg":
        subprocess.run(["wine", "reg", *words[1:]], env=wine_environment(prefix),
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        return ""
    return run_tool(words[1:], prefix)[1]


def check_samples():
    """Runs the samples; all their outputs, for the troubleshooting check."""
    marked = samples()
    outputs = []
    if not marked:
        fail("the manual marks no sample output")
        return outputs
    prefix = WORK / "prefix"
    shutil.rmtree(WORK, ignore_errors=True)
    prefix.mkdir(parents=True)
    environment = wine_environment(prefix)
    try:
        quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL,
                 "stderr": subprocess.DEVNULL}
        subprocess.run(["wine", "wineboot", "--init"], env=environment, check=True, **quiet)
        subprocess.run(["wineserver", "-w"], env=environment, **quiet)
        # A server that stays, with the Task Scheduler running, as on a Windows machine.
        subprocess.run(["wineserver", "-p"], env=environment, **quiet)
        subprocess.run(["wine", "wineboot"], env=environment, **quiet)
        subprocess.run(["wine", "net", "start", "schedule"], env=environment, **quiet)
        user = subprocess.run(["wine", "cmd", "/c", "echo %USERNAME%"], env=environment,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              text=True).stdout.strip()
        for commands, expected in marked:
            for arguments in commands:
                output = run_sample_command(arguments, prefix)
            shown = output.replace(f"C:\\users\\{user}\\", "C:\\Users\\you\\")
            # Whether Wine's scheduler service answered in time is not the manual's business.
            shown = re.sub(r"(?m)^  expires: +unknown;.*\n", "", shown)
            outputs.append(shown)
            if shown != expected:
                fail(f"sample of {' '.join(commands[-1])!r} differs:\n--- manual\n{expected}"
                     f"--- tool\n{shown}")
    finally:
        subprocess.run(["wineserver", "-k"], env=environment, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=environment, stdin=subprocess.DEVNULL)
        shutil.rmtree(WORK, ignore_errors=True)
    return outputs


check_help(Path(os.environ.get("WINEPREFIX", WORK / "prefix")))
check_troubleshooting(check_samples())
print(f"manual: {len(failures)} difference(s) from the tool")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""The built MSI's Upgrade and Shortcut tables against the rules Windows Installer's validation
(ICE61, ICE50) applies, read with msiinfo. Arguments: CMAKE BUILD_DIR MSI."""
import os
import subprocess
import sys
import tempfile

cmake, build, msi = sys.argv[1:4]
failures = []

VERSION_MIN_INCLUSIVE, VERSION_MAX_INCLUSIVE, ONLY_DETECT = 0x100, 0x200, 0x2


def check(ok, what):
    if not ok:
        failures.append(what)


def table(name):
    """Rows of a table as dictionaries: msiinfo export gives names, types and keys, then rows.
    It writes the binary column's streams into a folder beside it: a scratch one."""
    with tempfile.TemporaryDirectory() as scratch:
        text = subprocess.run(["msiinfo", "export", os.path.abspath(msi), name], cwd=scratch,
                              check=True, capture_output=True, text=True).stdout
    lines = text.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


subprocess.run([cmake, "--build", build, "--target", "msi"], check=True, stdout=subprocess.DEVNULL)
properties = {row["Property"]: row["Value"] for row in table("Property")}
version = properties["ProductVersion"]
secured = properties.get("SecureCustomProperties", "").split(";")

upgrades = table("Upgrade")
actions = [row["ActionProperty"] for row in upgrades]
for row in upgrades:
    action = row["ActionProperty"]
    attributes = int(row["Attributes"])
    check(actions.count(action) == 1, f"{action}: shared by several Upgrade rows")
    check(action.isupper() and action in secured and action not in properties,
          f"{action}: not a public, secured, unauthored property")
    if not attributes & ONLY_DETECT:
        check(row["VersionMax"] != "", f"{action}: removes without a maximum version")
same = [row for row in upgrades if row["VersionMin"] == version and row["VersionMax"] == version]
check(len(same) == 1 and int(same[0]["Attributes"]) & (VERSION_MIN_INCLUSIVE | VERSION_MAX_INCLUSIVE)
      == VERSION_MIN_INCLUSIVE | VERSION_MAX_INCLUSIVE,
      f"no one row that finds exactly {version}, both ends included")

icons = {row["Name"] for row in table("Icon")}
key_files = {row["Component"]: row["KeyPath"] for row in table("Component")}
file_names = {row["File"]: row["FileName"].split("|")[-1] for row in table("File")}
shortcuts = table("Shortcut")
check(len(shortcuts) == 1, "one shortcut")
for row in shortcuts:
    icon = row["Icon_"]
    target = file_names.get(key_files.get(row["Component_"], ""), "")
    check(icon != "" and icon in icons and icon == properties.get("ARPPRODUCTICON"),
          f"{row['Shortcut']}: icon '{icon}' is not the product's icon")
    check(icon.rpartition(".")[2].lower() == target.rpartition(".")[2].lower(),
          f"{row['Shortcut']}: icon '{icon}' is not named like its target '{target}'")

print("\n".join(f"FAILED: {failure}" for failure in failures) or "ok")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""The built MSI's tables, read with msiinfo: Upgrade and Shortcut against the rules of Windows
Installer's validation (ICE61, ICE50), and the system Path row that build-msi adds.
Arguments: CMAKE BUILD_DIR MSI."""
import os
import re
import subprocess
import sys
import tempfile

cmake, build, msi = sys.argv[1:4]
MIN_INCLUSIVE, MAX_INCLUSIVE, ONLY_DETECT = 0x100, 0x200, 0x2
failures = []


def table(name):
    """Rows as dictionaries (msiinfo gives names, types, keys, then rows; it writes binary
    columns' streams beside it, hence the scratch folder)."""
    with tempfile.TemporaryDirectory() as scratch:
        lines = subprocess.run(["msiinfo", "export", os.path.abspath(msi), name], cwd=scratch,
                               check=True, capture_output=True, text=True).stdout.split("\n")
    rows = [line.rstrip("\r").split("\t") for line in lines if line.strip()]
    return [dict(zip(rows[0], row)) for row in rows[3:]]


subprocess.run([cmake, "--build", build, "--target", "msi"], check=True, stdout=subprocess.DEVNULL)
properties = {row["Property"]: row["Value"] for row in table("Property")}
version, secured = properties["ProductVersion"], properties["SecureCustomProperties"].split(";")
upgrades = table("Upgrade")
actions = [row["ActionProperty"] for row in upgrades]
for row, action in zip(upgrades, actions):
    if actions.count(action) != 1 or action not in secured or action in properties:
        failures.append(f"{action}: shared, not secured or preset")
    if not int(row["Attributes"]) & ONLY_DETECT and not row["VersionMax"]:
        failures.append(f"{action}: removes without a maximum version")
if [int(row["Attributes"]) & (MIN_INCLUSIVE | MAX_INCLUSIVE) for row in upgrades
        if row["VersionMin"] == row["VersionMax"] == version] != [MIN_INCLUSIVE | MAX_INCLUSIVE]:
    failures.append(f"no one row that finds {version} alone, both ends included")

key_files = {row["Component"]: row["KeyPath"] for row in table("Component")}
file_names = {row["File"]: row["FileName"].split("|")[-1] for row in table("File")}
icons = [row["Name"] for row in table("Icon")]
shortcuts = table("Shortcut")
features = {row["Feature"] for row in table("Feature")}
if not shortcuts:
    failures.append("no shortcut")
for row in shortcuts:
    if row["Target"] not in features:  # not advertised: it names the file it opens
        if row["Target"][2:-1] not in file_names or not row["Target"].startswith("[#"):
            failures.append(f"{row['Shortcut']}: target {row['Target']} is no file of the package")
        continue
    icon, target = row["Icon_"], file_names[key_files[row["Component_"]]]
    if icon not in icons or icon != properties.get("ARPPRODUCTICON"):
        failures.append(f"{row['Shortcut']}: icon '{icon}' is not the product's icon")
    if icon.rpartition(".")[2].lower() != target.rpartition(".")[2].lower():
        failures.append(f"{row['Shortcut']}: icon '{icon}' is not named like its target {target}")

# The install folder on the system Path: appended, set on install, removed on uninstall, with
# logsmithctl, and the two actions that apply the table inside the installation's script.
environment = [(sorted(re.match(r"[=+!*-]*", row["Name"]).group()), row["Name"].lstrip("=+!*-"),
                row["Value"], file_names[key_files[row["Component_"]]])
               for row in table("Environment")]
if environment != [(sorted("*=-"), "Path", "[~];[INSTALLDIR]", "logsmithctl.exe")]:
    failures.append(f"Environment rows {environment}")

execute = {row["Action"]: int(row["Sequence"]) for row in table("InstallExecuteSequence")}
for action in ("RemoveEnvironmentStrings", "WriteEnvironmentStrings"):
    if not execute["InstallInitialize"] < execute.get(action, 0) < execute["InstallFinalize"]:
        failures.append(f"{action} is not in the installation script")

print("\n".join(f"FAILED: {failure}" for failure in failures) or "ok")
sys.exit(1 if failures else 0)

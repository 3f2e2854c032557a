#!/usr/bin/env python3
"""Checks the Group Policy template: the documented element order and required attributes, that
every reference resolves, and that key, value names, mode codes and mode names are the program's.
    policyTemplateTest.py SOURCE_DIR"""
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

source = Path(sys.argv[1])
NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def load(path):
    raw = path.read_bytes()
    raw.decode("utf-8")  # anything else fails here
    check(raw.startswith(b'<?xml version="1.0" encoding="utf-8"?>'), f"{path.name}: declaration")
    root = ET.fromstring(raw)
    check(root.tag.startswith(NS), f"{path.name}: namespace")
    return root


def name(element):
    return element.tag.replace(NS, "")


# Children an element may hold, in the order the schema's sequences fix.
ORDER = {
    "policyDefinitions": "policyNamespaces supersededAdm annotation resources supportedOn "
                         "categories policies",
    "policyNamespaces": "target using",
    "category": "annotation parentCategory seeAlso keywords",
    "policy": "annotation parentCategory seeAlso keywords supportedOn enabledValue "
              "disabledValue enabledList disabledList elements",
    "policyDefinitionResources": "displayName description annotation resources",
    "resources": "stringTable presentationTable",
    "textBox": "label defaultValue",
}
REQUIRED = {
    "policyDefinitions": "revision schemaVersion", "policyDefinitionResources": "revision schemaVersion",
    "target": "prefix namespace", "category": "name displayName", "definition": "name displayName",
    "policy": "name class displayName key", "enum": "id valueName", "text": "id valueName",
    "boolean": "id valueName", "item": "displayName", "presentation": "id", "string": "id",
    "dropdownList": "refId", "textBox": "refId", "checkBox": "refId",
}


def checkStructure(root, file):
    for element in root.iter():
        tag = name(element)
        for attribute in REQUIRED.get(tag, "").split():
            check(element.get(attribute), f"{file}: {tag} without {attribute}")
        if tag in ORDER:
            allowed = ORDER[tag].split()
            children = [name(child) for child in element]
            check(all(child in allowed for child in children), f"{file}: {tag} holds {children}")
            positions = [allowed.index(child) for child in children if child in allowed]
            check(positions == sorted(positions), f"{file}: {tag} children out of order")


admx = load(source / "packaging/PolicyDefinitions/Logsmith.admx")
adml = load(source / "packaging/PolicyDefinitions/en-US/Logsmith.adml")
checkStructure(admx, "admx")
checkStructure(adml, "adml")
check(admx.find(f"{NS}resources").get("minRequiredRevision"), "admx: resources without revision")

admxText = (source / "packaging/PolicyDefinitions/Logsmith.admx").read_text("utf-8")
strings = {s.get("id"): s.text for s in adml.iter(f"{NS}string")}
presentations = {p.get("id"): p for p in adml.iter(f"{NS}presentation")}
for reference in re.findall(r"\$\(string\.([^)]*)\)", admxText):
    check(reference in strings, f"string {reference} not in the adml")
for reference in re.findall(r"\$\(presentation\.([^)]*)\)", admxText):
    check(reference in presentations, f"presentation {reference} not in the adml")
categories = {c.get("name") for c in admx.iter(f"{NS}category")}
for parent in admx.iter(f"{NS}parentCategory"):
    check(parent.get("ref") in categories, f"category {parent.get('ref')} undefined")
supported = {d.get("name") for d in admx.iter(f"{NS}definition")}
for policy in admx.iter(f"{NS}policy"):
    check(policy.find(f"{NS}supportedOn").get("ref") in supported, "supportedOn undefined")
    # Each element needs the control of its kind in the policy's presentation, and no other.
    controls = {"enum": "dropdownList", "text": "textBox", "boolean": "checkBox"}
    wanted = {(e.get("id"), controls.get(name(e))) for e in policy.find(f"{NS}elements")}
    shown = presentations.get(policy.get("presentation", "")[len("$(presentation."):-1], [])
    check(wanted == {(c.get("refId"), name(c)) for c in shown}, f"presentation of {policy.get('name')}")

# The program's own names and codes.
settingsHeader = (source / "app/loggingSettings.h").read_text()
keysHeader = (source / "app/productRegistryKeys.h").read_text()
modes = {n: int(c) for n, c in re.findall(r"constexpr DWORD (log\w+) = (\d+);", settingsHeader)}
values = dict(re.findall(r'constexpr const wchar_t\* (\w+Value) = L"(\w+)";', settingsHeader))
keys = dict(re.findall(r'constexpr const wchar_t\* (\w+KeyName) = L"([^"]+)";', keysHeader))
check(len(modes) == 4 and len(values) == 3, "constants not found in app/loggingSettings.h")

(policy,) = admx.iter(f"{NS}policy")
check(policy.get("class") == "User", "the policy is not a user policy")
check(policy.get("key") == "\\".join(keys[k + "KeyName"] for k in ("software", "company", "product")),
      f"key {policy.get('key')}")
enum, text, boolean = (policy.find(f"{NS}elements/{NS}{tag}") for tag in ("enum", "text", "boolean"))
check(enum.get("valueName") == values["debugDataTransferValue"], "mode value name")
check(text.get("valueName") == values["debugLogFileValue"], "log file value name")
check(boolean.get("valueName") == values["debugLogFileWriteNewFileValue"], "delete-first value name")
check([boolean.find(f"{NS}{v}/{NS}decimal").get("value") for v in ("trueValue", "falseValue")]
      == ["1", "0"], "delete-first is not 1 or 0")

# Each mode shows the dialog's text for its code: resource script text by control id, code by
# the dialog's table of control ids.
rc = (source / "resources/Logsmith.rc").read_text()
dialogText = dict((i, t) for t, i in re.findall(r'CONTROL\s+"([^"]+)",\s*(IDC_MODE_\w+)', rc))
dialog = (source / "app/DmDebugRegistryDlg.cpp").read_text()
codeText = {modes[c]: dialogText[i] for i, c in re.findall(r"\{(IDC_MODE_\w+), (log\w+)\}", dialog)}
check(sorted(codeText) == sorted(modes.values()), "the dialog's mode table not found")
items = {int(i.find(f"{NS}value/{NS}decimal").get("value")): i.get("displayName")[9:-1]
         for i in enum.iter(f"{NS}item")}
check(sorted(items) == sorted(modes.values()), f"mode codes {sorted(items)}")
for code, string in items.items():
    check(strings.get(string) == codeText.get(code), f"mode {code} is shown as {strings.get(string)}")

for failure in failures:
    print("FAILED:", failure)
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""The Group Policy template: documented element order, references that resolve, and the key,
value names, mode codes and mode texts of the program itself. Argument: the source folder."""
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


def name(element):
    return element.tag.replace(NS, "")


# Children an element may hold, in the order the schema's sequences fix.
ORDER = {
    "policyDefinitions": "policyNamespaces supersededAdm annotation resources supportedOn "
                         "categories policies",
    "policyNamespaces": "target using",
    "category": "annotation parentCategory seeAlso keywords",
    "policy": "annotation parentCategory seeAlso keywords supportedOn enabledValue disabledValue "
              "enabledList disabledList elements",
    "policyDefinitionResources": "displayName description annotation resources",
    "resources": "stringTable presentationTable",
    "textBox": "label defaultValue",
    "disabledList": "item",
    "item": "value valueList",
}
# Attributes the schema gives the elements the template uses (spelling and case matter).
ATTRIBUTES = {
    "policy": "name class displayName explainText presentation key valueName clientExtension",
    "enum": "id key valueName required clientExtension",
    "text": "id key valueName required maxLength expandable soft clientExtension",
    "boolean": "id key valueName clientExtension",
    "disabledList": "defaultKey",
    "item": "displayName key valueName",
}


def load(relative):
    raw = (source / relative).read_bytes()
    check(raw.startswith(b'<?xml version="1.0" encoding="utf-8"?>'), f"{relative}: declaration")
    root = ET.fromstring(raw.decode("utf-8"))
    check(root.tag.startswith(NS) and root.get("revision") and root.get("schemaVersion"), relative)
    for element in root.iter():
        allowed = ORDER.get(name(element), "").split()
        if allowed:
            children = [name(child) for child in element]
            check(all(c in allowed for c in children), f"{relative}: {name(element)} {children}")
            positions = [allowed.index(c) for c in children if c in allowed]
            check(positions == sorted(positions), f"{relative}: {name(element)} out of order")
        if name(element) in ATTRIBUTES:
            unknown = set(element.keys()) - set(ATTRIBUTES[name(element)].split())
            check(not unknown, f"{relative}: {name(element)} with {sorted(unknown)}")
    return root, raw.decode("utf-8")


admx, admxText = load("packaging/PolicyDefinitions/Logsmith.admx")
adml, _ = load("packaging/PolicyDefinitions/en-US/Logsmith.adml")
# The editor refuses strings older than the template asks for.
check(admx.find(f"{NS}resources").get("minRequiredRevision") == adml.get("revision"),
      "admx: resources revision is not the adml's")
strings = {s.get("id"): s.text for s in adml.iter(f"{NS}string")}
presentations = {p.get("id"): p for p in adml.iter(f"{NS}presentation")}
for kind, defined in (("string", strings), ("presentation", presentations)):
    for reference in re.findall(rf"\$\({kind}\.([^)]*)\)", admxText):
        check(reference in defined, f"{kind} {reference} not in the adml")
categories = {c.get("name") for c in admx.iter(f"{NS}category")}
check(all(p.get("ref") in categories for p in admx.iter(f"{NS}parentCategory")), "categories")
supported = {d.get("name") for d in admx.iter(f"{NS}definition")}

(policy,) = admx.iter(f"{NS}policy")
check(policy.find(f"{NS}supportedOn").get("ref") in supported, "supportedOn undefined")
# Each element needs the control of its kind in the presentation, and no other.
controls = {"enum": "dropdownList", "text": "textBox", "boolean": "checkBox"}
wanted = {(e.get("id"), controls.get(name(e))) for e in policy.find(f"{NS}elements")}
shown = presentations.get(policy.get("presentation", "")[len("$(presentation."):-1], [])
check(wanted == {(c.get("refId"), name(c)) for c in shown}, "presentation controls")

# The program's own names and codes.
settings = (source / "app/loggingSettings.h").read_text()
modes = {n: int(c) for n, c in re.findall(r"constexpr DWORD (log\w+) = (\d+);", settings)}
values = dict(re.findall(r'constexpr const wchar_t\* (\w+Value) = L"(\w+)";', settings))
keys = dict(re.findall(r'constexpr const wchar_t\* (\w+)KeyName = L"([^"]+)";',
                       (source / "app/productRegistryKeys.h").read_text()))
check(len(modes) == 4 and len(values) == 3, "constants not found in app/loggingSettings.h")
check(policy.get("class") == "User", "not a user policy")
check(policy.get("key") == "\\".join(keys[k] for k in ("software", "company", "product")), "key")
enum, text, boolean = (policy.find(f"{NS}elements/{NS}{t}") for t in ("enum", "text", "boolean"))
check(enum.get("valueName") == values["debugDataTransferValue"], "mode value name")
check(text.get("valueName") == values["debugLogFileValue"], "log file value name")
check(boolean.get("valueName") == values["debugLogFileWriteNewFileValue"], "delete-first name")
check([boolean.find(f"{NS}{v}/{NS}decimal").get("value") for v in ("trueValue", "falseValue")]
      == ["1", "0"], "delete-first is not 1 or 0")
# Without a length the editor cuts the log file name at 1023 characters; Windows paths reach 32767.
check((text.get("maxLength"), text.get("required")) == ("32767", "true"), "log file text limits")
# Disabled switches logging off: the mode value, in the policy's key, set to "do not log".
disabled = [(i.get("key") or policy.find(f"{NS}disabledList").get("defaultKey"), i.get("valueName"),
             [int(d.get("value")) for d in i.iter(f"{NS}decimal")])
            for i in policy.iterfind(f"{NS}disabledList/{NS}item")]
check(disabled == [(policy.get("key"), values["debugDataTransferValue"], [modes["logNothing"]])],
      f"Disabled writes {disabled}")

# Each mode is named by the dialog's text for its code (control texts by id, codes by id).
rc = (source / "resources/Logsmith.rc").read_text()
dialogText = {i: t for t, i in re.findall(r'CONTROL\s+"([^"]+)",\s*(IDC_MODE_\w+)', rc)}
dialog = (source / "app/DmDebugRegistryDlg.cpp").read_text()
table = re.findall(r"\{(IDC_MODE_\w+), (log\w+)\}", dialog)
codeText = {modes[code]: dialogText[id] for id, code in table}
items = {int(i.find(f"{NS}value/{NS}decimal").get("value")): i.get("displayName")[9:-1]
         for i in enum.iter(f"{NS}item")}
check(sorted(items) == sorted(modes.values()) == sorted(codeText), f"mode codes {sorted(items)}")
for code, string in items.items():
    check(strings.get(string) == codeText.get(code), f"mode {code} shown as {strings.get(string)}")

for failure in failures:
    print("FAILED:", failure)
print(len(failures), "failed")
sys.exit(1 if failures else 0)

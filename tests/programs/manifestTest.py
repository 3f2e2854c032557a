#!/usr/bin/env python3
"""Reads the manifest resource of each built program and checks what Windows will read from it.

    manifestTest.py OBJCOPY VERSION PROGRAM.exe[:dpiAware] ...
"""
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ASM1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
# Vista, 7, 8, 8.1, and 10/11, as Windows documents their ids.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}


def manifest_of(objcopy, program):
    with tempfile.NamedTemporaryFile() as section:
        subprocess.run([objcopy, "-O", "binary", "--only-section=.rsrc", program, section.name],
                       check=True)
        data = open(section.name, "rb").read()
    found = re.findall(rb"<\?xml.*?</assembly>", data, re.S)
    if len(found) != 1:
        raise AssertionError(f"{len(found)} manifests in the resources")
    return ET.fromstring(found[0])


def problems(root, version, dpi_aware):
    identity = root.find(ASM1 + "assemblyIdentity")
    if identity is None or identity.get("version") != version:
        yield "the assembly version is not " + version
    levels = root.findall(f".//{ASM3}requestedExecutionLevel")
    if [(e.get("level"), e.get("uiAccess")) for e in levels] != [("asInvoker", "false")]:
        yield "not asInvoker"
    controls = [e for e in root.findall(f"{ASM1}dependency/{ASM1}dependentAssembly/"
                                        f"{ASM1}assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if [(e.get("version"), e.get("publicKeyToken")) for e in controls] != \
            [("6.0.0.0", "6595b64144ccf1df")]:
        yield "no Common Controls 6.0.0.0 dependency"
    ids = {e.get("Id") for e in root.findall(f".//{COMPAT}supportedOS")}
    if ids != SUPPORTED_OS:
        yield f"supportedOS ids differ: {sorted(ids ^ SUPPORTED_OS)}"
    settings = root.find(f"{ASM3}application/{ASM3}windowsSettings")
    def setting(tag):
        element = settings.find(tag) if settings is not None else None
        return element.text.strip() if element is not None and element.text else None
    if setting(SETTINGS_2016 + "longPathAware") != "true":
        yield "not longPathAware"
    if dpi_aware and setting(SETTINGS_2005 + "dpiAware") != "true":
        yield "not dpiAware"


def main():
    objcopy, version = sys.argv[1], sys.argv[2]
    failures = 0
    for argument in sys.argv[3:]:
        program, _, flag = argument.partition(":")
        try:
            found = list(problems(manifest_of(objcopy, program), version, flag == "dpiAware"))
        except (AssertionError, ET.ParseError) as error:
            found = [str(error)]
        for problem in found:
            print(f"FAILED: {program}: {problem}")
        failures += len(found)
    print(f"{failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks every example of the session host page (docs/servers.md) against the
server package it describes.

Fenced blocks are examples by their tag:
  cmd   command lines: an msiexec line names the package as the build names
        it and passes only the package's own public properties (those of
        its SecureCustomProperties, or the installer's REINSTALL and
        REINSTALLMODE) with values the package takes; a reg line only reads
        (reg query) a key the package writes.
  reg   a registry file: its header, and each MSMapiApps value routes a
        program to the mail client key the package registers ("Zobrik").
  xml   a default-associations file: well-formed, and each association
        gives a scheme to Zobrik.Url and a file type to Zobrik.File under
        the application name zobrik-open registers.
  text  output shown, not an example.
A block without a tag, or with another one, is a fault, so that no example
goes untested.

usage: server_doc_examples_test.py <page> <server.msi> <zobrik-open.wxi>
"""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from doc_blocks import Report, blocks  # noqa: E402

PACKAGE = re.compile(r"^ZobrikServer-\d+\.\d+\.\d+-x64\.msi$")
FILE_TYPES = re.compile(r"^\.[A-Za-z0-9_-]{1,32}(;\.[A-Za-z0-9_-]{1,32})*$")
INSTALLER_PROPERTIES = {"REINSTALL", "REINSTALLMODE"}
MSMAPIAPPS = re.compile(r"^\[HKEY_LOCAL_MACHINE\\SOFTWARE\\(WOW6432Node\\)?Microsoft\\Windows Messaging "
                        r"Subsystem\\MSMapiApps\]$")
SCHEMES = {"http", "https", "mailto"}
PACKAGE_KEYS = ("HKLM\\Software\\Clients\\Mail", "HKLM\\Software\\Zobrik\\Server",
                "HKLM\\Software\\RegisteredApplications", "HKLM\\Software\\Classes\\Zobrik.")

report = Report()


def secure_properties(package):
    out = subprocess.run(["msiinfo", "export", package, "Property"], capture_output=True, text=True, check=True)
    for row in out.stdout.replace("\r", "").split("\n"):
        fields = row.split("\t")
        if fields[0] == "SecureCustomProperties":
            return set(fields[1].split(";"))
    return set()


def application_name(wxi):
    match = re.search(r'Name="ApplicationName"\s+Type="string"\s+Value="([^"]+)"', open(wxi, encoding="utf-8").read())
    return match.group(1) if match else None


def check_msiexec(where, words, properties):
    package = [w for w in words if w.lower().endswith(".msi")]
    report(len(package) == 1 and PACKAGE.match(package[0]) is not None, f"{where}: names the package",
           " ".join(words))
    for word in words:
        if "=" not in word or word.startswith("/"):
            continue
        name, value = word.split("=", 1)
        known = name in properties or name in INSTALLER_PROPERTIES
        report(known, f"{where}: {name} is a property of the package", f"known: {sorted(properties)}")
        if name == "ZOBRIK_DEFAULT_MAIL":
            report(value == "1", f"{where}: ZOBRIK_DEFAULT_MAIL={value} is what the package acts on (1)")
        if name == "ZOBRIK_FILE_TYPES":
            report(FILE_TYPES.match(value) is not None, f"{where}: ZOBRIK_FILE_TYPES={value} are file types")


def check_cmd(where, lines, properties):
    for line in filter(None, lines):
        words = line.split()
        if words[0].lower() == "msiexec":
            check_msiexec(where, words, properties)
        elif words[0].lower() == "reg":
            key = line.split('"')[1] if '"' in line else words[2]
            report(words[1].lower() == "query" and key.startswith(PACKAGE_KEYS),
                   f"{where}: reads a key of the package: {key}", line)
        else:
            report(False, f"{where}: a command this page may show", line)


def check_reg(where, lines):
    report(lines[:1] == ["Windows Registry Editor Version 5.00"], f"{where}: registry file header")
    section, values = None, 0
    for line in lines[1:]:
        if line.startswith("["):
            section = line
            report(MSMAPIAPPS.match(line) is not None, f"{where}: the stub's MSMapiApps key", line)
        elif line:
            match = re.match(r'^"([^"\\]+\.(exe|dll))"="Zobrik"$', line, re.IGNORECASE)
            report(section is not None and match is not None,
                   f"{where}: routes {line.split('=')[0]} to the mail client Zobrik", line)
            values += 1
    report(values > 0, f"{where}: routes at least one program")


def check_xml(where, lines, name):
    try:
        root = ElementTree.fromstring("\n".join(lines).encode("utf-8"))
    except ElementTree.ParseError as error:
        report(False, f"{where}: well-formed", str(error))
        return
    associations = root.findall("Association")
    report(root.tag == "DefaultAssociations" and len(associations) > 0, f"{where}: associations")
    for association in associations:
        identifier = association.get("Identifier", "")
        expected = "Zobrik.Url" if identifier in SCHEMES else "Zobrik.File" if identifier.startswith(".") else None
        report(association.get("ProgId") == expected, f"{where}: {identifier} goes to {expected}",
               f"ProgId {association.get('ProgId')}")
        report(association.get("ApplicationName") == name, f"{where}: {identifier} names zobrik-open as it registers",
               f"'{association.get('ApplicationName')}' vs '{name}'")


def main():
    page, package, wxi = sys.argv[1:4]
    properties = secure_properties(package)
    report({"ZOBRIK_DEFAULT_MAIL", "ZOBRIK_FILE_TYPES"} <= properties, "the package's public properties",
           f"SecureCustomProperties: {sorted(properties)}")
    name = application_name(wxi)
    found = blocks(page, strip=True)
    report(len(found) > 0, f"{page} has examples")
    for start, tag, lines in found:
        where = f"line {start} ({tag or 'no tag'})"
        if tag == "cmd":
            check_cmd(where, lines, properties)
        elif tag == "reg":
            check_reg(where, lines)
        elif tag == "xml":
            check_xml(where, lines, name)
        elif tag != "text":
            report(False, f"{where}: a block this page may hold (cmd, reg, xml, text)")
    if report.failures:
        print(f"{report.failures} check(s) failed")
        return 1
    print(f"PASS: {len(found)} examples match the server package")
    return 0


if __name__ == "__main__":
    sys.exit(main())

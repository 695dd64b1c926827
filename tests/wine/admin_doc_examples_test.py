#!/usr/bin/env python3
"""Checks every example of the administrator's documentation as it stands.

Fenced blocks of the page are examples by their tag:
  reg         a registry file: saved as the page tells (UTF-16 LE with BOM,
              as regedit exports, and plain ASCII), imported with Wine's
              "reg import" into a policy key emptied before, then read by
              the real DLL's policy reader: it must count every value of the
              block in its hive and find none malformed or unusable.
  powershell  checked as text (PowerShell does not run here): each policy
              key is created (New-Item -Force) before a value is written
              into it, and each value has the type its setting needs; a
              block that writes no policy value must only read (Get-...).
  text        output shown, not an example.
A block without a tag is a fault, so that no example goes untested.

usage: admin_doc_examples_test.py <wine64> <wineserver> <prefix> <checker.exe> <dll> <admin_policy.h> <page> <work>
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from doc_blocks import Report, blocks  # noqa: E402

HEADER = "Windows Registry Editor Version 5.00"
POLICY_KEY = r"SOFTWARE\Policies\Zobrik\WTSDVC"
VALUE_LINE = re.compile(r'^"([^"]+)"=')
KEY_LINE = re.compile(r"^\[(HKEY_LOCAL_MACHINE|HKEY_CURRENT_USER)\\(.+)\]$")
HIVES = {"HKEY_LOCAL_MACHINE": "HKLM", "HKEY_CURRENT_USER": "HKCU"}
PS_TYPES = {"Switch": "DWord", "Number": "DWord", "List": "MultiString"}

report = Report()


def setting_kinds(header):
    """Setting name -> Switch, Number or List, from the settings table."""
    text = open(header, encoding="utf-8").read()
    names = dict(re.findall(r'k(\w+)Setting\[\] = ZOBRIK_WIDE\("(\w+)"\)', text))
    return {names[k]: kind for k, kind in re.findall(r"\{k(\w+)Setting, PolicyValueKind::(\w+)\}", text)}


class Prefix:
    def __init__(self, wine64, wineserver, path):
        self.wine64 = wine64
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all", WINESERVER=wineserver, DISPLAY="")
        # A copy of the template prefix when ZOBRIK_WINE_TEMPLATE names one,
        # booted otherwise.
        make_prefix = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make-prefix.sh")
        subprocess.run([make_prefix, wine64, wineserver, path], env=self.env, stdout=subprocess.DEVNULL, check=True)
        # One server for every command, instead of one started per command.
        subprocess.run([wineserver, "-p"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, *args):
        # Output into a file, not a pipe: Wine's own processes, which stay
        # with the persistent server, would keep a pipe open.
        with tempfile.TemporaryFile() as output:
            result = subprocess.run([self.wine64, *args], env=self.env, stdout=output, stderr=subprocess.STDOUT)
            output.seek(0)
            text = output.read().decode("utf-8", "replace").replace("\r", "")
        return result.returncode, text


def windows_path(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def check_reg(prefix, checker, dll, start, lines, kinds, work):
    label = f"line {start}"
    report(lines[:1] == [HEADER], f"{label}: the block starts with \"{HEADER}\"", lines[:1])
    counts, key = {}, None
    for line in lines:
        match = KEY_LINE.match(line)
        if match:
            key = match
            report(match.group(2) == POLICY_KEY, f"{label}: the key is the policy key", line)
        elif VALUE_LINE.match(line) and key:
            counts[HIVES[key.group(1)]] = counts.get(HIVES[key.group(1)], 0) + 1
            report(VALUE_LINE.match(line).group(1) in kinds, f"{label}: {line.split('=')[0]} is a setting")
    text = "\r\n".join(lines) + "\r\n"
    for encoding, data in (("utf-16", "\ufeff".encode("utf-16-le") + text.encode("utf-16-le")),
                           ("ascii", text.encode("ascii"))):
        for hive in ("HKLM", "HKCU"):
            prefix.run("reg", "delete", f"{hive}\\{POLICY_KEY}", "/f")
        path = os.path.join(work, f"example-{start}-{encoding}.reg")
        with open(path, "wb") as out:
            out.write(data)
        status, output = prefix.run("reg", "import", windows_path(path))
        report(status == 0, f"{label} saved as {encoding}: reg import succeeds", output.strip())
        status, output = prefix.run(checker, windows_path(dll))
        expected = f"policy: {counts.get('HKLM', 0)} settings in HKLM, {counts.get('HKCU', 0)} in HKCU"
        report(status == 0 and expected in output, f"{label} saved as {encoding}: the DLL reads \"{expected}\"",
               output.strip())
        faults = [l for l in output.splitlines() if " ignored: " in l or " unusable: " in l]
        report(not faults, f"{label} saved as {encoding}: no value is ignored or unusable", "; ".join(faults))


def check_powershell(start, lines, kinds):
    label = f"line {start}"
    text = " ".join(l.rstrip("`").strip() for l in lines)  # backticks continue a line
    variables = dict(re.findall(r"\$(\w+)\s*=\s*'([^']+)'", text))
    created = set()
    writes = 0
    for command in re.split(r"(?=\bNew-Item\b|\bNew-ItemProperty\b|\bSet-ItemProperty\b)", text):
        words = command.split()
        if not words:
            continue
        verb = words[0]
        target = next((w for w in words[1:] if w.startswith("$") or w.startswith("HK")), None)
        if target is None and "-Path" in words:
            target = words[words.index("-Path") + 1]
        path = variables.get(target.lstrip("$"), target) if target else None
        if verb == "New-Item":
            report("-Force" in words, f"{label}: New-Item {path} has -Force")
            created.add(path)
        elif verb in ("New-ItemProperty", "Set-ItemProperty"):
            writes += 1
            name = words[words.index("-Name") + 1] if "-Name" in words else None
            report(path in created, f"{label}: the key {path} is created before {name} is written into it")
            report(path is not None and path.endswith(":\\" + POLICY_KEY),
                   f"{label}: {name} goes to the policy key", path)
            kind = kinds.get(name)
            wanted = PS_TYPES.get(kind)
            given = words[words.index("-PropertyType") + 1] if "-PropertyType" in words else None
            report(wanted is not None and given == wanted, f"{label}: {name} is written as {wanted}", given)
    if writes == 0 and not created:
        # A block that writes nothing only reads (Get-WinEvent, Get-ItemProperty).
        cmdlets = re.findall(r"\b([A-Z][a-z]+)-[A-Z]\w*", text)
        report(bool(cmdlets) and all(verb in ("Get", "Select", "Where", "Sort", "Format") for verb in cmdlets),
               f"{label}: a block that writes no policy value only reads", text)
    else:
        report(writes > 0, f"{label}: the block writes policy values")


def main():
    wine64, wineserver, prefix_path, checker, dll, header, page, work = sys.argv[1:9]
    os.makedirs(work, exist_ok=True)
    kinds = setting_kinds(header)
    report(len(kinds) >= 16, f"{len(kinds)} settings read from {os.path.basename(header)}")
    prefix = Prefix(wine64, wineserver, prefix_path)
    examples = 0
    for start, tag, lines in blocks(page):
        if tag == "reg":
            examples += 1
            check_reg(prefix, checker, dll, start, lines, kinds, work)
        elif tag == "powershell":
            examples += 1
            check_powershell(start, lines, kinds)
        else:
            report(tag == "text", f"line {start}: the block is tagged reg, powershell or text", tag or "no tag")
    report(examples > 0, f"{examples} examples checked")
    for hive in ("HKLM", "HKCU"):
        prefix.run("reg", "delete", f"{hive}\\{POLICY_KEY}", "/f")
    subprocess.run([wineserver, "-k"], env=prefix.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print(f"FAIL: {report.failures} failed" if report.failures else "all examples hold")
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main())

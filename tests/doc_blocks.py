"""What the documentation checks share: the fenced blocks of a page and the
ok/FAIL report with its count of failures."""
import re

# A fence may stand indented (inside a list item); its tag names the kind.
FENCE = re.compile(r"^\s*```([A-Za-z+#]*)\s*$")


class Report:
    def __init__(self):
        self.failures = 0

    def __call__(self, passed, what, detail=""):
        print(f"{'ok' if passed else 'FAIL'}: {what}" + (f"\n    {detail}" if detail and not passed else ""))
        self.failures += 0 if passed else 1


def blocks(path, strip=False):
    """(line number, tag, lines) of every fenced block of the page; with
    strip, each line without the indentation of a block inside a list."""
    found, tag, start, lines = [], None, 0, []
    with open(path, encoding="utf-8") as page:
        for number, line in enumerate(page, 1):
            match = FENCE.match(line.rstrip("\n"))
            if tag is None and match:
                tag, start, lines = match.group(1), number, []
            elif tag is not None and line.strip() == "```":
                found.append((start, tag, lines))
                tag = None
            elif tag is not None:
                text = line.rstrip("\n")
                lines.append(text.strip() if strip else text)
    return found

#!/usr/bin/env python3
"""Checks that the manual names every window and button of the program.

Usage: check_manual_captions.py MANUAL_FOLDER SOURCE_FOLDER CAPTION_LIST [MAN_PAGE...]

CAPTION_LIST holds the captions of the program's windows, buttons, menu items and phone pages, one a
line ('#' starts a comment). Three things must hold, and a fourth for each MAN_PAGE given:
  - every listed caption is a string in the sources (so the list cannot keep a caption the program
    dropped),
  - every caption the sources give a window title, button, check box, option, group, menu item or phone
    page heading in the usual ways is listed (so a new window or button cannot be left out of the list),
  - every listed caption appears in the text of the manual's pages,
  - every window title, menu item and toolbar item of the sources appears in the manual and in each
    manual page's text (roff comments left out), so a reader can find each window by the caption it
    shows.
Blanks do not count when comparing with the manual: the program spaces some captions ("确  定") and
HTML collapses blanks anyway.
"""
import os
import re
import sys
from html.parser import HTMLParser

# Ways the sources give a caption; group 1 is the caption.
CAPTION_PATTERNS = [
    r'setWindowTitle\(QStringLiteral\("([^"]+)"\)',
    r'new (?:QPushButton|QCheckBox|QRadioButton|QGroupBox|QToolButton)\(QStringLiteral\("([^"]+)"\)',
    r'(?:addAction|addButton|makeButton|button)\(QStringLiteral\("([^"]+)"\)',
    r'<title>(?:手机点餐 - )?(?:\{\{\w+\}\} )?([^<{]+)</title>',
    r'<button[^>]*>([^<{]+)</button>',
]

# Captions of windows, menus and the toolbar; the manual pages must name each of them. The toolbar's items
# are the literals of MainWindow::ToolbarCaptions().
WINDOW_PATTERNS = [
    r'setWindowTitle\((?:\w+ \? QStringLiteral\("[^"]+"\) : )?QStringLiteral\("([^"]+)"\)',
    r'setWindowTitle\(\w+ \? QStringLiteral\("([^"]+)"\)',
    r'addAction\(QStringLiteral\("([^"]+)"\)',
]
TOOLBAR_BLOCK = r'ToolbarCaptions\(\) \{(.*?)\};'


def blankless(text):
    return re.sub(r"\s+", "", text)


class Text(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.skip = 0

    def handle_starttag(self, tag, attrs):
        if tag in ("style", "script"):
            self.skip += 1

    def handle_endtag(self, tag):
        if tag in ("style", "script") and self.skip:
            self.skip -= 1

    def handle_data(self, data):
        if not self.skip:
            self.parts.append(data)


def manual_text(folder):
    parts = []
    for root, _, names in os.walk(folder):
        for name in sorted(names):
            if name.endswith(".html"):
                parser = Text()
                with open(os.path.join(root, name), encoding="utf-8") as f:
                    parser.feed(f.read())
                parts.extend(parser.parts)
    return blankless("".join(parts))


def sources(folder):
    texts = {}
    for root, _, names in os.walk(folder):
        for name in names:
            if name.endswith((".cpp", ".h", ".asp")):
                path = os.path.join(root, name)
                with open(path, encoding="utf-8") as f:
                    texts[os.path.relpath(path, folder)] = f.read()
    return texts


def window_captions(code):
    captions = set()
    for content in code.values():
        for pattern in WINDOW_PATTERNS:
            captions.update(m.group(1).strip() for m in re.finditer(pattern, content))
        for block in re.finditer(TOOLBAR_BLOCK, content, re.S):
            captions.update(re.findall(r'QStringLiteral\("([^"]+)"\)', block.group(1)))
    return sorted(c for c in captions if c)


def man_text(path):
    """The text of a roff page without its comments and font changes, blanks removed."""
    with open(path, encoding="utf-8") as f:
        lines = [line for line in f if not line.startswith(('.\\"', "'\\\""))]
    text = re.sub(r'\\f[BIRP]|\\f\(\w\w|\\&|\\c', "", "".join(lines))
    return blankless(text)


def read_list(path):
    captions = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].rstrip("\n")
            if line.strip():
                captions.append(line.strip())
    return captions


def main():
    manual, source_folder, list_path = sys.argv[1:4]
    man_pages = sys.argv[4:]
    captions = read_list(list_path)
    listed = {blankless(c) for c in captions}
    code = sources(source_folder)
    everything = "\n".join(code.values())
    text = manual_text(manual)
    problems = []

    for caption in captions:
        # A string in C++ ("...") or the text of an element in a page (">...<" or "{{name}} ...<").
        in_code = re.search(r'(?:"|>|\s)' + re.escape(caption) + r'(?:"|<)', everything) is not None
        if not in_code:
            problems.append(f"listed caption {caption!r} is not in the sources")
        if blankless(caption) not in text:
            problems.append(f"the manual does not mention {caption!r}")

    for path, content in sorted(code.items()):
        for pattern in CAPTION_PATTERNS:
            for match in re.finditer(pattern, content):
                caption = match.group(1).strip()
                if caption and blankless(caption) not in listed:
                    problems.append(f"{path}: caption {caption!r} is missing from {os.path.basename(list_path)}")

    windows = window_captions(code)
    for caption in windows:
        if blankless(caption) not in text:
            problems.append(f"the manual does not mention the window or menu caption {caption!r}")
    for page in man_pages:
        text_of_page = man_text(page)
        for caption in windows:
            if blankless(caption) not in text_of_page:
                problems.append(f"the manual page {page} does not mention the window or menu caption {caption!r}")

    for problem in problems:
        print(problem)
    print(f"{len(captions)} captions checked against the sources and the manual, "
          f"{len(windows)} window and menu captions against {len(man_pages)} manual pages")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

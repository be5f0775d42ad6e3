#!/usr/bin/env python3
"""Checks that every local src/href of the manual's HTML pages names a file in the manual folder, and
that every picture in the folder is shown by a page (a picture no page uses is an outdated one).

Usage: check_manual_links.py MANUAL_FOLDER
Links to other sites (http:, https:, mailto:) and in-page anchors (#...) are left alone; an anchor must
name an id of its page. Exits 1 and lists the dead links and the unused pictures when there are any.
"""
import os
import sys
from html.parser import HTMLParser
from urllib.parse import unquote, urlsplit

PICTURES = (".png", ".jpg", ".jpeg", ".gif", ".svg", ".webp")


class Links(HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name == "id" and value:
                self.ids.add(value)
            if name in ("src", "href") and value is not None:
                self.links.append((tag, value))


def check_page(folder, page):
    parser = Links()
    with open(page, encoding="utf-8") as f:
        parser.feed(f.read())
    dead = []
    images = set()
    for tag, link in parser.links:
        parts = urlsplit(link)
        if parts.scheme in ("http", "https", "mailto"):
            continue
        if parts.scheme or parts.netloc or link.startswith("/"):
            dead.append(f"{link} (not a relative link)")
            continue
        if not parts.path:
            if parts.fragment and parts.fragment not in parser.ids:
                dead.append(f"{link} (no such anchor)")
            continue
        target = os.path.normpath(os.path.join(os.path.dirname(page), unquote(parts.path)))
        if not target.startswith(os.path.abspath(folder) + os.sep):
            dead.append(f"{link} (outside the manual folder)")
        elif not os.path.isfile(target):
            dead.append(f"{link} (missing)")
        elif tag == "img":
            images.add(target)
    return dead, images


def main():
    folder = os.path.abspath(sys.argv[1])
    index = os.path.join(folder, "index.html")
    if not os.path.isfile(index):
        print(f"no manual at {index}")
        return 1
    pages = [os.path.join(root, name) for root, _, names in os.walk(folder) for name in names
             if name.endswith(".html")]
    failed = False
    shown = set()
    for page in sorted(pages):
        dead, images = check_page(folder, page)
        shown |= images
        for link in dead:
            print(f"{os.path.relpath(page, folder)}: dead link {link}")
            failed = True
    if not shown:
        print("the manual shows no pictures")
        failed = True
    for root, _, names in os.walk(folder):
        for name in sorted(names):
            path = os.path.join(root, name)
            if name.lower().endswith(PICTURES) and os.path.normpath(path) not in shown:
                print(f"{os.path.relpath(path, folder)}: no page shows this picture")
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

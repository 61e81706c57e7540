#!/usr/bin/env python3
"""Stores an XML file kept in UTF-8 in another encoding, and says so in its declaration.

    recode_xml.py <input.xml> <output.xml> <encoding>

The encoding is the name the XML declaration gets (for example windows-1250). A character
the encoding cannot hold fails the build instead of turning into a question mark.
"""
import re
import sys


def main():
    source, target, encoding = sys.argv[1:4]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    declaration = re.compile(r'^(<\?xml[^>]*?\bencoding=)(["\'])[^"\']*\2')
    if not declaration.search(text):
        sys.exit(f"{source}: the first line must be an XML declaration naming its encoding")
    text = declaration.sub(lambda m: f"{m.group(1)}\"{encoding}\"", text, count=1)
    try:
        data = text.encode(encoding)
    except UnicodeEncodeError as error:
        sys.exit(f"{source}: {error}")
    with open(target, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()

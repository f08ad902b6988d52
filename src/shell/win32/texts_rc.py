#!/usr/bin/env python3
"""Writes the Japanese STRINGTABLE of the Windows program from the Qt
translation file, so that both programs say the same in Japanese and no
second copy is kept by hand.

Usage: texts_rc.py TEXTS_CPP TS_FILE OUTPUT_RC

The string ids follow the order of the English forms in texts.cpp (the
order of TextId), starting at k_text_id_base. A form with no translation
stops the build: a text added in English only would reach a Japanese
operator in English. English needs no table of its own: the program carries
its English forms already.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree

K_TEXT_ID_BASE = 100  # k_text_id_base in texts/texts.h

# A raw string R"(...)" or an ordinary one, or the comma between elements.
TOKEN = re.compile(r'R"\((.*?)\)"|"((?:[^"\\]|\\.)*)"|(,)', re.S)


def english_forms(texts_cpp):
    source = open(texts_cpp, encoding="utf-8").read()
    body = re.search(r"k_english\s*=\s*\{(.*?)\n\};", source, re.S)
    if body is None:
        sys.exit(f"{texts_cpp}: no k_english table")
    forms, current = [], ""
    for raw, plain, comma in TOKEN.findall(body.group(1)):
        if comma:
            forms.append(current)
            current = ""
        else:
            # Adjacent literals join, as in C++.
            current += raw or re.sub(r"\\(.)", r"\1", plain)
    if current:
        forms.append(current)
    return forms


def translations(ts_file):
    found = {}
    for message in ElementTree.parse(ts_file).getroot().iter("message"):
        source, translation = message.find("source"), message.find("translation")
        if translation is None or translation.get("type") in ("unfinished", "obsolete", "vanished"):
            continue
        if source is not None and source.text and translation.text:
            found[source.text] = translation.text
    return found


def rc_string(text):
    # Only the two characters the resource compiler treats specially; the
    # rest goes through as UTF-8 (code page 65001 below).
    return '"' + text.replace("\\", "\\\\").replace('"', '""') + '"'


def main():
    texts_cpp, ts_file, output = sys.argv[1:4]
    japanese = translations(ts_file)
    lines = [
        f"// Generated from {ts_file.rsplit('/', 1)[-1]} by texts_rc.py: edit the translation instead.",
        "#pragma code_page(65001)",
        "LANGUAGE 0x11, 0x01  // LANG_JAPANESE, SUBLANG_DEFAULT",
        "STRINGTABLE",
        "BEGIN",
    ]
    forms = english_forms(texts_cpp)
    missing = [english for english in forms if english not in japanese]
    if missing:
        sys.exit(f"{ts_file}: no Japanese for:\n  " + "\n  ".join(missing))
    for number, english in enumerate(forms):
        lines.append(f"  {K_TEXT_ID_BASE + number}, {rc_string(japanese[english])}")
    lines += ["END", "LANGUAGE 0, 0", "#pragma code_page(DEFAULT)", ""]
    with open(output, "w", encoding="utf-8") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    main()

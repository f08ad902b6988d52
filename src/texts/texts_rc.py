#!/usr/bin/env python3
"""Checks that every text of texts.def has its Japanese in the Qt
translation file, keyed by the text's identity, and writes the Japanese
STRINGTABLE of the Windows program from it, so that both programs say the
same in Japanese and no second copy is kept by hand.

Usage: texts_rc.py TEXTS_DEF TS_FILE OUTPUT_RC

The string ids follow the order of texts.def (the order of TextId),
starting at k_text_id_base. A text with no translation stops the build on
both systems: a text added in English only would reach a Japanese operator
in English. English needs no table of its own: the program carries its
English forms already.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree

K_TEXT_ID_BASE = 100  # k_text_id_base in texts/texts.h

ENTRY = re.compile(r'^BREVALT_TEXT\((\w+), (R"\((.*)\)"|"((?:[^"\\]|\\.)*)")\)$')


def texts(texts_def):
    found = []
    for number, line in enumerate(open(texts_def, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line or line.startswith("//"):
            continue
        entry = ENTRY.match(line)
        if entry is None:
            sys.exit(f"{texts_def}:{number}: not BREVALT_TEXT(identity, \"English\"): {line}")
        identity, _, raw, plain = entry.groups()
        found.append((identity, raw if raw is not None else re.sub(r"\\(.)", r"\1", plain)))
    return found


def translations(ts_file):
    found = {}
    for message in ElementTree.parse(ts_file).getroot().iter("message"):
        translation = message.find("translation")
        if translation is None or translation.get("type") in ("unfinished", "obsolete", "vanished"):
            continue
        if message.get("id") and translation.text:
            found[message.get("id")] = translation.text
    return found


def rc_string(text):
    # Only the two characters the resource compiler treats specially; the
    # rest goes through as UTF-8 (code page 65001 below).
    return '"' + text.replace("\\", "\\\\").replace('"', '""') + '"'


def main():
    texts_def, ts_file, output = sys.argv[1:4]
    japanese = translations(ts_file)
    forms = texts(texts_def)
    missing = [identity for identity, _ in forms if identity not in japanese]
    if missing:
        sys.exit(f"{ts_file}: no Japanese for:\n  " + "\n  ".join(missing))
    unknown = sorted(set(japanese) - {identity for identity, _ in forms})
    if unknown:
        sys.exit(f"{ts_file}: translations of texts that texts.def no longer has:\n  " + "\n  ".join(unknown))
    lines = [
        f"// Generated from {ts_file.rsplit('/', 1)[-1]} by texts_rc.py: edit the translation instead.",
        "#pragma code_page(65001)",
        "LANGUAGE 0x11, 0x01  // LANG_JAPANESE, SUBLANG_DEFAULT",
        "STRINGTABLE",
        "BEGIN",
    ]
    for number, (identity, _) in enumerate(forms):
        lines.append(f"  {K_TEXT_ID_BASE + number}, {rc_string(japanese[identity])}")
    lines += ["END", "LANGUAGE 0, 0", "#pragma code_page(DEFAULT)", ""]
    with open(output, "w", encoding="utf-8") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    main()

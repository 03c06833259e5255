#!/usr/bin/env python3
"""Every text a user reads is valid UTF-8 and writes Italian accents as accents.

Checks the programs' sources and the documents (README, manual pages, desktop entry, AppStream
metadata, LEGGIMI, installer): a word that ends in a vowel followed by an apostrophe, as in
"e'", "piu'", "perche'" or "funzionalita'", is an accent typed as an apostrophe. Elisions
("l'aiuto", "nient'altro"), words in quotes ('tanti') and "po'" are Italian as written. The
one text the window has always shown with an apostrophe keeps it.
    italian_texts.py SOURCE_DIR
"""
import pathlib
import re
import sys

FOLDERS = ['app', 'ui', 'engine', 'packaging']
DOCUMENTS = ['README.md']
BINARY = {'.png', '.ico'}
# The window's error message, as it has always been written (a document may wrap it).
KEPT = "Attenzione! E' stato trovato un errore nel file"
KEPT_WRAPPED = re.compile(r'\s+'.join(map(re.escape, KEPT.split())))

# A word that starts after no letter and no opening quote, ends in a vowel, and is followed by
# an apostrophe that no letter follows.
ACCENT_AS_APOSTROPHE = re.compile(r"(?<![\w'])([^\W\d_]*[aeiouAEIOU])'(?![^\W\d_])")


def accents_as_apostrophes(text):
    """The words of `text` that write an accent as an apostrophe, with their offsets."""
    text = KEPT_WRAPPED.sub(lambda kept: re.sub(r'\S', ' ', kept.group(0)), text)
    # "po'" is written so in Italian; u'x' is a character in C++.
    return [(m.group(0), m.start()) for m in ACCENT_AS_APOSTROPHE.finditer(text)
            if m.group(1) not in ('po', 'u', 'U')]


def check_the_rule():
    cases = [
        ("il percorso e' sbagliato", ["e'"]),
        ("E' una cartella, giu'", ["E'", "giu'"]),
        ("non si puo' aprire, piu' i canali", ["puo'", "piu'"]),
        ("perche' ne' gia' cosi'", ["perche'", "ne'", "gia'", "cosi'"]),
        ('"App e funzionalita\'"', ["funzionalita'"]),
        (KEPT + ' a.mid', []),
        ("Attenzione! E'\nstato trovato un errore nel file", []),
        ("Attenzione! E' stato trovato un errore", ["E'"]),
        ("Per l'aiuto: nient'altro, com'era, un po' di piu", []),
        ("non 'tanti'. opzione sconosciuta '%1'.", []),
        ("u'\\n', QChar(u'0'), the songs' order", []),
    ]
    for text, expected in cases:
        found = [word for word, _ in accents_as_apostrophes(text)]
        if found != expected:
            sys.exit(f'the check itself is wrong on {text!r}: {found} instead of {expected}')


def main():
    root = pathlib.Path(sys.argv[1])
    check_the_rule()
    paths = [root / name for name in DOCUMENTS]
    for folder in FOLDERS:
        paths += sorted(p for p in (root / folder).rglob('*')
                        if p.is_file() and p.suffix not in BINARY)
    problems = []
    for path in paths:
        name = path.relative_to(root)
        try:
            text = path.read_bytes().decode('utf-8')
        except UnicodeDecodeError as error:
            problems.append(f'{name}: not valid UTF-8 at byte {error.start}')
            continue
        lines = text.splitlines()
        for word, offset in accents_as_apostrophes(text):
            number = text.count('\n', 0, offset) + 1
            problems.append(f'{name}:{number}: "{word}" is an accent typed as an apostrophe '
                            f'(write è, più, perché...): {lines[number - 1].strip()}')
    for problem in problems:
        print(problem)
    print(f'{len(paths)} files, {len(problems)} problems')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())

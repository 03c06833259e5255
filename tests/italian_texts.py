#!/usr/bin/env python3
"""Every text a user reads is valid UTF-8 and writes Italian accents as accents, and the
Italian documents call each thing by one name.

Checks the programs' sources and the documents (README, manual pages, desktop entry, AppStream
metadata, LEGGIMI, installer): a word that ends in a vowel followed by an apostrophe, as in
"e'", "piu'", "perche'" or "funzionalita'", is an accent typed as an apostrophe. Elisions
("l'aiuto", "nient'altro"), words in quotes ('tanti') and "po'" are Italian as written. The
one text the window has always shown with an apostrophe keeps it.

In the Italian documents (TERM_CHECKED), a word that TERMS lists as another name for a thing
that has its own term is a mistake: a reader takes two words for two things.
    italian_texts.py SOURCE_DIR
"""
import pathlib
import re
import sys

FOLDERS = ['app', 'ui', 'engine', 'packaging']
DOCUMENTS = ['README.md', 'docs/developers.md', 'docs/benchmark.md']
BINARY = {'.png', '.ico'}
# The window's error message, as it has always been written (a document may wrap it).
KEPT = "Attenzione! E' stato trovato un errore nel file"
# The window's texts that have always been written so, and that documents quote: neither
# check looks inside them.
FIXED = [KEPT, 'Converte il DrumKit dei Midifile che utilizzano impostazioni non standard',
         'Midifile (*.mid *.kar)',
         # Qt's own Cancel button, named in quotes as it shows: a button, not a term.
         '"Annulla"']
FIXED_WRAPPED = re.compile('|'.join(r'\s+'.join(map(re.escape, fixed.split())) for fixed in FIXED))

# One term for each thing: the term, what it names, and the other names that must not stand
# for it (regular expressions, matched as whole words in any letter case; a space matches any
# white space, where a line may wrap).
TERMS = [
    ('kit originale', 'the kit a Program Change selected before it was converted',
     [r'kit (precedent|sostituit|di prima|vecch)\w*', r'vecchi\w* kit']),
    ('ripristinare', 'putting an original kit back',
     [r'rimett\w*', r'rimess[oaie]', r'annull\w*']),
    ('elaborazione', 'one batch: the songs handed over at once, with one summary',
     [r'lavor[oi]', r'riparazion[ei]', r'conversione interrotta']),
    ('registro delle modifiche (registro)', "a batch's journal",
     [r'(?<![-\w])journal\w*', r'giornal[ei]', r'diari[oi]', r'file di log']),
    ('convertire', 'what Kadenzo does to a non-standard kit', [r'ripar[aeio]\w*']),
    ('conversione', 'one kit converted to kit 0', [r'sostituzion[ei]']),
    ('simulazione', 'a dry run (-n)',
     [r'(?<![-\w])dry run', r'prova a vuoto', r'esecuzion[ei] di prova']),
    ('kit di batteria', 'a drum kit', [r'drum kit\w*', r'set di batteria']),
    ('file MIDI', 'a MIDI file', [r'midifile\w*']),
    ('Program Change', 'the event that selects a kit', [r'cambio? (di )?programm[ai]']),
    ('canzone', 'a song: a MIDI file, .mid or .kar', [r'bran[oi]']),
    ('direttamente nei file', 'changing the files in place', [r'sul posto']),
]
SYNONYMS = [(re.compile(r'(?<!\w)(?:' + synonym.replace(' ', r'\s+') + r')(?!\w)', re.IGNORECASE),
             term) for term, _, synonyms in TERMS for synonym in synonyms]

# The files whose texts must keep to TERMS: the Italian documents. A folder stands for the
# sources in it (the files SHOWN_PARTS knows), of which only the texts that users read are
# checked, so that the code's folders (app, ui, engine) can join the list as they are.
TERM_CHECKED = [
    'app',
    'ui',
    'engine',
    'packaging/windows/LEGGIMI.txt',
    'packaging/windows/kadenzo.nsi',
    'packaging/linux/kadenzo.1',
    'packaging/linux/kadenzo-batch.1',
    'packaging/linux/io.github.kadenzo.Kadenzo.desktop',
    'packaging/linux/io.github.kadenzo.Kadenzo.metainfo.xml',
]
# Where users' texts are in a file that is not all text for users: C++ string literals (not
# those of #include), Qt Designer strings, the installer's quoted strings outside comments, the
# desktop entry's keys, AppStream's elements. Other files are read whole.
CPP_LITERALS = re.compile(r'^\s*#.*|"((?:\\.|[^"\\\n])*)"', re.MULTILINE)
SHOWN_PARTS = {
    '.cpp': CPP_LITERALS,
    '.h': CPP_LITERALS,
    '.ui': re.compile(r'<string>(.*?)</string>', re.DOTALL),
    '.nsi': re.compile(r'^\s*[;#].*|"((?:\$\\"|[^"\n])*)"|`([^`\n]*)`', re.MULTILINE),
    '.desktop': re.compile(r'^\s*#.*|^(.+)', re.MULTILINE),
    '.xml': re.compile(r'<!--.*?-->|(?<=>)([^<]+)(?=<)', re.DOTALL),
}

# A word that starts after no letter and no opening quote, ends in a vowel, and is followed by
# an apostrophe that no letter follows.
ACCENT_AS_APOSTROPHE = re.compile(r"(?<![\w'])([^\W\d_]*[aeiouAEIOU])'(?![^\W\d_])")


def blanked(text):
    """`text` made spaces, its line feeds kept: the offsets and line numbers stay."""
    return re.sub(r'[^\n]', ' ', text)


def without_fixed(text):
    return FIXED_WRAPPED.sub(lambda fixed: blanked(fixed.group(0)), text)


def shown_text(suffix, text):
    """`text` with spaces for all but what users read (SHOWN_PARTS), each line where it was."""
    parts = SHOWN_PARTS.get(suffix)
    if not parts:
        return text
    shown = list(blanked(text))
    for match in parts.finditer(text):
        for group in range(1, parts.groups + 1):
            start, end = match.span(group)
            shown[start:end] = text[start:end]  # (-1, -1) for a group that took no part
    return ''.join(shown)


def other_names(text):
    """The words of `text` that TERMS forbids, by offset, each with its term (the first one
    that forbids it, where two do)."""
    text = without_fixed(text)
    found = {}
    for pattern, term in SYNONYMS:
        for m in pattern.finditer(text):
            found.setdefault(m.start(), (m.start(), m.group(0), term))
    return sorted(found.values())


def accents_as_apostrophes(text):
    """The words of `text` that write an accent as an apostrophe, with their offsets."""
    text = without_fixed(text)
    # "po'" is written so in Italian; u'x' is a character in C++.
    return [(m.group(0), m.start()) for m in ACCENT_AS_APOSTROPHE.finditer(text)
            if m.group(1) not in ('po', 'u', 'U')]


def check_the_rules():
    def accents(text):
        return [word for word, _ in accents_as_apostrophes(text)]

    def names(suffix=''):
        return lambda text: [word for _, word, _ in other_names(shown_text(suffix, text))]

    cases = [
        (accents, "il percorso e' sbagliato", ["e'"]),
        (accents, "E' una cartella, giu'", ["E'", "giu'"]),
        (accents, "non si puo' aprire, piu' i canali", ["puo'", "piu'"]),
        (accents, "perche' ne' gia' cosi'", ["perche'", "ne'", "gia'", "cosi'"]),
        (accents, '"App e funzionalita\'"', ["funzionalita'"]),
        (accents, KEPT + ' a.mid', []),
        (accents, "Attenzione! E'\nstato trovato un errore nel file", []),
        (accents, "Attenzione! E' stato trovato un errore", ["E'"]),
        (accents, "Per l'aiuto: nient'altro, com'era, un po' di piu", []),
        (accents, "non 'tanti'. opzione sconosciuta '%1'.", []),
        (accents, "u'\\n', QChar(u'0'), the songs' order", []),
        (names(), 'rimette i kit di prima; Annullare il kit\nprecedente',
         ['rimette', 'kit di prima', 'Annullare', 'kit\nprecedente']),
        (names(), 'il kit sostituito, un lavoro, la riparazione. Conversione interrotta',
         ['kit sostituito', 'lavoro', 'riparazione', 'Conversione interrotta']),
        (names(), 'ripara i drum kit sul posto; i cambi di programma di un Midifile',
         ['ripara', 'drum kit', 'sul posto', 'cambi di programma', 'Midifile']),
        (names(), 'con \\-\\-no\\-journal o --dry-run non scrive il journal: un dry run',
         ['journal', 'dry run']),
        (names(), 'Converte il DrumKit dei Midifile che utilizzano impostazioni non\nstandard',
         []),
        (names(), 'numero Conversioni: 2; la ripartizione; il kit originale, ripristinato',
         []),
        (names('.cpp'), '#include "journal.h"\n// the journal, a dry run\n'
                        'QStringLiteral("Un lavoro \\"riparato\\"")', ['lavoro', 'riparato']),
        (names('.ui'), '<widget name="journal"><string>il lavoro</string>', ['lavoro']),
        (names('.nsi'), '; the journal\nDetailPrint "Un lavoro $\\"x$\\""  ; journal',
         ['lavoro']),
        (names('.desktop'), '# the journal\nComment=il lavoro', ['lavoro']),
        (names('.xml'), '<!-- the journal --><p>il lavoro</p>', ['lavoro']),
    ]
    for check, text, expected in cases:
        found = check(text)
        if found != expected:
            sys.exit(f'the check itself is wrong on {text!r}: {found} instead of {expected}')


def files_in(root, names, kept=lambda path: path.suffix not in BINARY):
    """The files of `names` under `root`, a folder standing for the files in it that `kept`
    keeps."""
    paths = []
    for name in names:
        path = root / name
        paths += sorted(p for p in path.rglob('*') if p.is_file() and kept(p)) \
            if path.is_dir() else [path]
    return paths


def main():
    root = pathlib.Path(sys.argv[1])
    check_the_rules()
    paths = files_in(root, DOCUMENTS + FOLDERS)
    term_checked = set(files_in(root, TERM_CHECKED, lambda path: path.suffix in SHOWN_PARTS))
    problems = []
    for path in paths:
        name = path.relative_to(root)
        try:
            text = path.read_bytes().decode('utf-8')
        except UnicodeDecodeError as error:
            problems.append(f'{name}: not valid UTF-8 at byte {error.start}')
            continue
        lines = text.splitlines()

        def line_of(offset):
            number = text.count('\n', 0, offset) + 1
            return f'{name}:{number}', lines[number - 1].strip()

        for word, offset in accents_as_apostrophes(text):
            where, line = line_of(offset)
            problems.append(f'{where}: "{word}" is an accent typed as an apostrophe '
                            f'(write è, più, perché...): {line}')
        if path in term_checked:
            for offset, word, term in other_names(shown_text(path.suffix, text)):
                where, line = line_of(offset)
                word = ' '.join(word.split())
                problems.append(f'{where}: "{word}" is another name for "{term}": {line}')
    for problem in problems:
        print(problem)
    print(f'{len(paths)} files, {len(problems)} problems')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())

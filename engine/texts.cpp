#include "texts.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QStringList>

namespace Texts {

QString walkError(const QString &path)
{
    return QStringLiteral("Attenzione! E' stato trovato un errore nel file ") + path;
}

QString summary(int filesFound, int conversions)
{
    return QStringLiteral("Files trovati: %1, numero Conversioni: %2")
        .arg(filesFound)
        .arg(conversions);
}

QString notOpenedCount(int notOpened)
{
    return QStringLiteral("File non aperti: %1").arg(notOpened);
}

QString stoppedCount(int notWalked)
{
    return notWalked == 1
               ? QStringLiteral("Elaborazione interrotta: 1 file non elaborato")
               : QStringLiteral("Elaborazione interrotta: %1 file non elaborati").arg(notWalked);
}

QString notOpenedReason(NotOpened reason)
{
    switch (reason) {
    case NotOpened::Missing:
        return QStringLiteral("non esiste");
    case NotOpened::AccessDenied:
        return QStringLiteral("accesso negato");
    case NotOpened::ReadOnly:
        return QStringLiteral("file di sola lettura");
    case NotOpened::InUse:
        return QStringLiteral("in uso da un altro programma");
    case NotOpened::Folder:
        return QStringLiteral("è una cartella");
    case NotOpened::NotFileOrFolder:
        break;
    }
    return QStringLiteral("non è un file né una cartella");
}

QString nameNotText()
{
    return QStringLiteral("il nome del file non è un testo valido (byte di un'altra codifica): "
                          "rinominate il file e riprovate");
}

QString restoreQuestion(const QString &journalPath, int changes)
{
    return changes == 1
               ? QStringLiteral("Ripristinare il kit originale dell'unica conversione elencata "
                                "nel registro delle modifiche %1?")
                     .arg(journalPath)
               : QStringLiteral("Ripristinare i kit originali delle %2 conversioni elencate nel "
                                "registro delle modifiche %1?")
                     .arg(journalPath, QString::number(changes));
}

QString nothingToRestore(const QString &journalPath)
{
    return QStringLiteral("Il registro delle modifiche %1 non elenca nessuna conversione: non c'è "
                          "nessun kit da ripristinare.")
        .arg(journalPath);
}

QString notOpened(const QString &path, const QString &reason)
{
    return QStringLiteral("Attenzione! Impossibile aprire %1: %2").arg(path, reason);
}

// Channels are counted from 1 for people, as MIDI devices show them.
QString changeOfKit(int channel, int formerKit, int times)
{
    QString text = QStringLiteral("canale %1: kit %2 → 0").arg(channel + 1).arg(formerKit);
    if (times > 1)
        text += QStringLiteral(" (%1 volte)").arg(times);
    return text;
}

QString stoppedAfter(qint64 bytes)
{
    return QStringLiteral("errore, lettura interrotta dopo %1 byte").arg(bytes);
}

QString journalHeader(const QString &program, const QString &version, const QString &time)
{
    return QStringLiteral("# %1 %2, %3: file, posizione, canale, kit originale, dimensione")
        .arg(program, version, time);
}

QString journalFolderIsAFile(const QString &folder)
{
    return QStringLiteral("%1 esiste, ma non è una cartella").arg(folder);
}

QString journalFolderNotMade(const QString &folder)
{
    return QStringLiteral("impossibile creare la cartella %1").arg(folder);
}

QString journalFailed(const QString &journalPath, const QString &problem)
{
    return QStringLiteral("Attenzione! Impossibile scrivere il registro delle modifiche%1: %2. "
                          "L'elaborazione si è fermata: nessun altro kit è stato convertito.")
        .arg(journalPath.isEmpty() ? QString() : u' ' + journalPath, problem);
}

QString journalLine(const QString &journalPath)
{
    return QStringLiteral("Registro delle modifiche: %1").arg(journalPath);
}

QString notAJournal()
{
    return QStringLiteral("non è un registro delle modifiche di Kadenzo");
}

QString journalNotFlushed()
{
    return QStringLiteral("il disco non ha confermato la scrittura");
}

QString journalNotRead(const QString &journalPath, const QString &problem)
{
    return QStringLiteral("Attenzione! Impossibile leggere il registro delle modifiche %1: %2")
        .arg(journalPath, problem);
}

QString noProgramChangeThere()
{
    return QStringLiteral("in quella posizione non c'è più un Program Change");
}

QString programChangeOnChannel(int channel)
{
    return QStringLiteral("in quella posizione c'è un Program Change del canale %1")
        .arg(channel + 1);
}

QString otherKitThere(int kit)
{
    return QStringLiteral("in quella posizione c'è il kit %1, non il kit 0").arg(kit);
}

QString incompleteLine()
{
    return QStringLiteral("riga incompleta");
}

QString notRhythmChannelThere(int channel)
{
    return QStringLiteral("in quella posizione il canale %1 non è un canale di batteria")
        .arg(channel + 1);
}

QString standardKitInLine(int kit)
{
    return QStringLiteral("il kit %1 è un kit standard, che nessuna elaborazione converte")
        .arg(kit);
}

QString sizeChanged(qint64 now, qint64 then)
{
    return QStringLiteral("la canzone ora è di %1 byte, non di %2 come quando è stata convertita")
        .arg(now)
        .arg(then);
}

QString leftAlone(int lineNumber, const QString &reason)
{
    return QStringLiteral("Attenzione! Kit non ripristinato, riga %1 del registro: %2")
        .arg(lineNumber)
        .arg(reason);
}

QString leftAlone(const QString &path, qint64 offset, int channel, int formerKit,
                  const QString &reason)
{
    return QStringLiteral("Attenzione! Kit non ripristinato in %1, posizione %2 (canale %3, kit "
                          "%4): %5")
        .arg(path)
        .arg(offset)
        .arg(channel + 1)
        .arg(formerKit)
        .arg(reason);
}

QString restoreSummary(int restored, int leftAlone)
{
    return QStringLiteral("Kit ripristinati: %1, non ripristinati: %2")
        .arg(restored)
        .arg(leftAlone);
}

namespace Batch {

QString description(const QString &journalFolder)
{
    return QStringLiteral(
               "Converte i kit di batteria non standard dei file MIDI (.mid, .kar): su ogni\n"
               "canale di batteria, ogni kit non standard diventa il kit 0, direttamente nei\n"
               "file, senza copia di sicurezza. Ogni PERCORSO è una canzone o una cartella.\n\n"
               "Prima di ogni conversione, il kit originale viene scritto nel registro delle\n"
               "modifiche: un file per elaborazione, nella cartella\n  %1\n"
               "Con --restore, ogni PERCORSO è un registro: i kit originali vengono\n"
               "ripristinati dove la canzone ha ancora il kit 0. Con --no-journal il registro\n"
               "non viene scritto, e i kit convertiti non si potranno ripristinare.\n\n"
               "Alla fine stampa il riepilogo \"Files trovati: N, numero Conversioni: M\" (con\n"
               "--restore: \"Kit ripristinati: N, non ripristinati: M\"); sullo standard error,\n"
               "una riga per ogni file con un errore e per ogni percorso che non si è potuto\n"
               "aprire.\n\n"
               "Stato di uscita:\n"
               "  0  ogni percorso è stato elaborato senza errori (con --restore: ogni riga è\n"
               "     stata ripristinata, o non c'era nulla da fare);\n"
               "  1  una canzone ha un errore, un percorso non si è potuto aprire, o il\n"
               "     registro non si è potuto scrivere (l'elaborazione allora si ferma); con\n"
               "     --restore, una riga non è stata ripristinata o un registro non si è\n"
               "     potuto leggere;\n"
               "  2  il comando è sbagliato.")
        .arg(journalFolder);
}

QString pathArgument()
{
    return QStringLiteral("Una canzone o una cartella (le sue canzoni .mid e .kar); con "
                          "--restore, un registro delle modifiche.");
}

QString recursiveOption()
{
    return QStringLiteral("Elabora anche le sottocartelle (non i collegamenti simbolici).");
}

QString dryRunOption()
{
    return QStringLiteral("Simulazione: non modifica nessun file e stampa il riepilogo (con -l "
                          "anche ogni conversione) dell'elaborazione vera.");
}

QString listOption()
{
    return QStringLiteral("Una riga per ogni conversione: file, posizione, canale, kit originale.");
}

QString jobsOption(int defaultJobs)
{
    return QStringLiteral("Converte fino a N file alla volta (predefinito: %1, uno per "
                          "processore); se le aperture sono lente, come in una cartella di rete, "
                          "intanto ne apre altri, fino a 16 in tutto.")
        .arg(defaultJobs);
}

QString noJournalOption()
{
    return QStringLiteral("Non scrive il registro delle modifiche: i kit convertiti non si "
                          "potranno ripristinare.");
}

QString restoreOption()
{
    return QStringLiteral(
        "Ripristina i kit originali dei registri delle modifiche indicati come PERCORSO: "
        "dal più recente al più vecchio, secondo l'ora nella loro prima riga, e ciascuno "
        "dall'ultima riga alla prima.");
}

QString badJobs(int maxJobs, const QString &given)
{
    return QStringLiteral("--jobs richiede un numero da 1 a %1, non '%2'.").arg(maxJobs).arg(given);
}

QString missingPath()
{
    return QStringLiteral("manca il PERCORSO: indicate almeno una canzone o una cartella.");
}

QString missingJournal()
{
    return QStringLiteral("manca il registro delle modifiche da ripristinare: indicate almeno un "
                          "registro.");
}

QString unknownOptions(const QStringList &asTyped)
{
    return asTyped.size() == 1
               ? QStringLiteral("opzione sconosciuta: %1").arg(asTyped.first())
               : QStringLiteral("opzioni sconosciute: %1").arg(asTyped.join(QStringLiteral(", ")));
}

QString helpHint()
{
    return QStringLiteral("Per l'aiuto, scrivete: kadenzo-batch --help");
}

} // namespace Batch

bool QtItalian::install()
{
    // Qt's translations folder: Debian's, for the system's Qt; beside the program, for the
    // Windows packages, whose Qt is linked in and whose folder can be anywhere.
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/translations")};
    bool loaded = false;
    for (const QString &folder : folders) {
        if (!loaded)
            loaded = load(QStringLiteral("qtbase_it"), folder);
    }
    return QCoreApplication::installTranslator(this) && loaded;
}

// Qt's command-line parser writes its help and its errors in English; Kadenzo's own words
// replace them, as the catalogue's would not match the rest of kadenzo-batch's help.
QString QtItalian::translate(const char *context, const char *sourceText,
                             const char *disambiguation, int n) const
{
    if (qstrcmp(context, "QCommandLineParser") != 0)
        return QTranslator::translate(context, sourceText, disambiguation, n);
    static const QHash<QString, QString> italian = {
        {"Usage: %1", "Uso: %1"},
        {"[options]", "[OPZIONI]"},
        {"Options:", "Opzioni:"},
        {"Arguments:", "Argomenti:"},
        {"Displays help on commandline options.", "Mostra questo aiuto."},
        {"Displays help including Qt specific options.", "Come --help."},
        {"Displays version information.", "Mostra la versione."},
        {"Missing value after '%1'.", "manca il valore di %1"},
        {"Unexpected value after '%1'.", "l'opzione %1 non accetta un valore"},
    };
    return italian.value(QString::fromUtf8(sourceText));
}

} // namespace Texts

#include "texts.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>

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
               ? QStringLiteral("Conversione interrotta: 1 file non elaborato")
               : QStringLiteral("Conversione interrotta: %1 file non elaborati").arg(notWalked);
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
    return QStringLiteral("# %1 %2, %3: file, posizione, canale, kit precedente")
        .arg(program, version, time);
}

QString journalFolderIsAFile(const QString &folder)
{
    return QStringLiteral("%1 non è una cartella").arg(folder);
}

QString journalFolderNotMade(const QString &folder)
{
    return QStringLiteral("impossibile creare la cartella %1").arg(folder);
}

QString journalFailed(const QString &journalPath, const QString &problem)
{
    return QStringLiteral("Attenzione! Impossibile scrivere il registro delle modifiche%1: %2. "
                          "La conversione si è fermata: nessun altro kit è stato modificato.")
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

QString invalidJournalLine()
{
    return QStringLiteral("riga non valida");
}

QString noProgramChangeThere()
{
    return QStringLiteral("lì non c'è più un cambio di programma");
}

QString programChangeOnChannel(int channel)
{
    return QStringLiteral("lì c'è un cambio di programma sul canale %1").arg(channel + 1);
}

QString otherKitThere(int kit)
{
    return QStringLiteral("lì c'è il kit %1, non il kit 0").arg(kit);
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

QString description()
{
    return QStringLiteral(
        "Converte il DrumKit dei Midifile (.mid, .kar) che utilizzano impostazioni non "
        "standard:\nogni kit di batteria non standard diventa kit 0, direttamente nei file, "
        "senza copia\ndi sicurezza.\n\n"
        "Alla fine stampa il riepilogo \"Files trovati: N, numero Conversioni: M\"; sullo "
        "standard\nerror una riga per ogni file con un errore e per ogni percorso che non si "
        "è potuto\naprire.\n\n"
        "Stato di uscita: 0 se ogni percorso è stato elaborato senza errori, 1 se un file\n"
        "ha un errore o un percorso non si può aprire, 2 se il comando è sbagliato.");
}

QString pathArgument()
{
    return QStringLiteral("Un Midifile, o una cartella: i suoi file .mid e .kar.");
}

QString recursiveOption()
{
    return QStringLiteral("Anche le sottocartelle delle cartelle (non i collegamenti simbolici).");
}

QString dryRunOption()
{
    return QStringLiteral("Non modifica nessun file: stampa il riepilogo (con -l anche ogni "
                          "conversione) che darebbe la riparazione.");
}

QString listOption()
{
    return QStringLiteral("Una riga per conversione: file, posizione, canale, kit sostituito.");
}

QString jobsOption(int defaultJobs)
{
    return QStringLiteral("Ripara fino a N file alla volta (predefinito: %1, uno per processore).")
        .arg(defaultJobs);
}

QString noJournalOption()
{
    return QStringLiteral("Non scrive il registro delle modifiche (per chi tiene copie proprie).");
}

QString restoreOption()
{
    return QStringLiteral("Rimette i kit dei registri delle modifiche dati come PERCORSO, "
                          "dall'ultima riga alla prima.");
}

QString badJobs(int maxJobs, const QString &given)
{
    return QStringLiteral("--jobs vuole un numero da 1 a %1, non '%2'.").arg(maxJobs).arg(given);
}

QString missingPath()
{
    return QStringLiteral("manca il PERCORSO dei Midifile.");
}

QString helpHint()
{
    return QStringLiteral("Per l'aiuto: kadenzo-batch --help");
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
        {"Unknown option '%1'.", "opzione sconosciuta '%1'."},
        {"Unknown options: %1.", "opzioni sconosciute: %1."},
        {"Missing value after '%1'.", "manca il valore dopo '%1'."},
        {"Unexpected value after '%1'.", "valore inatteso dopo '%1'."},
    };
    return italian.value(QString::fromUtf8(sourceText));
}

} // namespace Texts

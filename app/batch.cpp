// kadenzo-batch PATH...: one batch over the paths, as the window runs one, without a window.
// Each failed file is reported on standard error; the summary is the last line of standard
// output.
#include "conversionengine.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList paths = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (paths.isEmpty()) {
        err << "usage: kadenzo-batch PATH...\n";
        return 2;
    }

    ConversionEngine engine;
    engine.startBatch();
    for (const QString &path : paths) {
        if (engine.processFile(path) == ConversionEngine::FileResult::Failed)
            err << ConversionEngine::errorMessage(path) << Qt::endl;
    }
    out << ConversionEngine::summaryMessage(engine.totals()) << Qt::endl;
    return 0;
}

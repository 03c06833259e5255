#pragma once

class QTranslator;

// Loads Qt's own Italian catalogue (qtbase_it.qm, from Qt's translations folder as
// QLibraryInfo names it, or from "translations" beside the program) into the translator and
// installs it, whatever the system's language: Kadenzo speaks Italian, and so must the buttons of
// Qt's dialogs and message boxes. Returns false, changing nothing, when the catalogue is not there:
// Qt's English texts show.
bool installQtItalian(QTranslator &translator);

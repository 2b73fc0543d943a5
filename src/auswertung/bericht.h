#pragma once
// Reports as files: CSV the way German spreadsheet programs open it, and the
// printed or PDF form with title, company, date, user and page numbers. A file
// is written whole or not at all.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QPagedPaintDevice;

struct Bericht {
    struct Tabelle {
        QString ueberschrift;
        QStringList spalten;
        std::vector<QStringList> zeilen;
        QString leertext; // printed instead of an empty table
    };
    QString titel;
    std::vector<Tabelle> tabellen;
};

namespace Berichte {

using Schreiber = std::function<void(const QStringList& zeile)>;
// Writes the header and every row `fuellen` hands to the writer. On any failure
// (an exception from `fuellen` included, which passes on) the file is left as
// it was and `fehler` says why.
bool CsvSchreiben(const QString& pfad, const QStringList& kopf, const std::function<void(const Schreiber&)>& fuellen,
                  QString& fehler);
bool CsvSchreiben(const QString& pfad, const QStringList& kopf, const std::vector<QStringList>& zeilen,
                  QString& fehler);
bool PdfSchreiben(const QString& pfad, const Bericht& bericht, QString& fehler);
// Lays the report out on the device's pages: a head on every page, the page
// number at the foot; only the pages of the device's page ranges when it has
// any. False when the device cannot be started (a printer that fails).
bool Zeichnen(QPagedPaintDevice& geraet, const Bericht& bericht);
// Asks where to save a report, offering `dateiname` in the user's documents
// folder (the home folder where there is none); "" when cancelled.
QString Speicherort(const QString& titel, const QString& dateiname, const QString& filter);
// Tells the user that the file was written, or why not.
void Melden(bool ok, const QString& fehler, const QString& datei);
// Tells the user that a report was cancelled and no file written.
void Abgebrochen(const QString& datei);

} // namespace Berichte

// The CSV writer against the reader: rows of any fields are read back as
// written, a formula-like field with its leading apostrophe.

#include "pruefen.h"

#include "util/csv.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    if (groesse > 4096) return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(daten), static_cast<qsizetype>(groesse));
    // Rows apart at U+001E, fields at U+001F.
    QList<QStringList> zeilen;
    QString csv;
    for (const QString& z : text.split(QChar(0x1E))) {
        const QStringList felder = z.split(QChar(0x1F));
        zeilen.append(felder);
        csv += Csv::Zeile(felder);
    }
    const QList<QStringList> gelesen = Csv::Lesen(csv);
    Pruefen(gelesen.size() == zeilen.size(), "Zeilenzahl", text);
    for (qsizetype i = 0; i < zeilen.size(); ++i) {
        Pruefen(gelesen[i].size() == zeilen[i].size(), "Feldzahl", text);
        for (qsizetype j = 0; j < zeilen[i].size(); ++j) {
            const QString& w = zeilen[i][j];
            Pruefen(gelesen[i][j] == (Csv::WieFormel(w) ? QLatin1Char('\'') + w : w), "Feld", text);
        }
    }
    return 0;
}

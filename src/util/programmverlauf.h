#pragma once
// The program history: each entry goes to the top of the history viewer's list
// and, while file logging is switched on, is appended to a text file.

#include <QDateTime>
#include <QString>

#include <functional>

void Programmverlauf(const QString& quelle, const QString& vorgang, const QString& detail);

namespace Verlauf {
constexpr int MaxZeilen = 100;
// Where entries go in the window: inserts a row at the top, keeps at most MaxZeilen.
void setZiel(std::function<void(const QString&)> zeileOben);
void setDateiProtokoll(bool an);
bool DateiProtokoll();
// The temporary directory, the separator, the application title and ".txt".
QString DateiPfad();
QString Zeitstempel(const QDateTime& t);
QString Dateizeile(const QDateTime& t, const QString& eintrag);
// Appends to the history file safely; false with the reason when refused.
bool Anhaengen(const QString& pfad, const QByteArray& zeile, QString& warum);
} // namespace Verlauf

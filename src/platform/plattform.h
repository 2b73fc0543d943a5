#pragma once
// Small things the program takes from its platform: the application-wide mouse
// pointer, twips, the temporary directory and the system-information program.

#include <QString>

class QWidget;

namespace Plattform {

// Mouse pointer 11 (hourglass) or 0 (default) for the whole application.
void setSanduhr(bool an);
bool Sanduhr();

// 1440 twips to the inch at the screen's logical DPI (15 at 96 dpi).
double TwipsProPixel();
void setTwipsProPixel(double wert); // 0 = from the screen
int Pixel(double twips);

// The first set of TEMP, Temp, temp, TMP, TMPDIR, else the user's runtime
// folder, else a folder of the user's own under the system's temporary directory.
QString TempVerzeichnis();
// False with the reason when the last of these is in use and not the user's
// own closed folder.
bool TempVerzeichnisPruefen(QString& warum);
// Makes `pfad` (mode 0700) when missing; false with the reason when it is no
// folder, belongs to another user or is open to others.
bool EigenerOrdner(const QString& pfad, QString& warum);
QChar Trennzeichen();

// A password field that shows "*" for each character, as the suite's dialogs do.
void SternchenAlsPasswortzeichen(QWidget* feld);

// Overwrites the process's own copy of field `feld` (from 1) of the command
// line, the arguments after the program name joined by blanks, so that the
// process list no longer shows it (the password of the suite's command line).
void ArgumentVerbergen(int argc, char** argv, int feld);

// The system-information program, or "" when there is none.
QString SystemInfoProgramm();

} // namespace Plattform

// Text conversion between window text and the server's 7-bit form, on the
// program's side and the server's: any text converts without a crash, and
// where the way back is defined (no 7-bit stand-in character in the text)
// it gives the text back.

#include "pruefen.h"

#include "server/klassen.h"
#include "util/konvertieren.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    if (groesse > 4096) return 0;
    const QString t = QString::fromUtf8(reinterpret_cast<const char*>(daten), static_cast<qsizetype>(groesse));
    for (const char* modus : {"GUIKORVAL", "KORVAL", "KORVALSZ", "RTF", "KORVALSUCHE", "UNBEKANNT"})
        for (bool gross : {false, true})
            Konvertieren(t, QString::fromLatin1(modus), gross);
    bool eindeutig = true;
    for (const QChar c : QStringLiteral("{|}~[\\]\u00F5"))
        eindeutig = eindeutig && !t.contains(c);
    if (eindeutig) {
        Pruefen(Konvertieren(Konvertieren(t, QStringLiteral("GUIKORVAL"), false), QStringLiteral("KORVAL"), false) == t,
                "Konvertieren hin und zurück", t);
        Pruefen(sevenBitToDisplay(displayToSevenBit(t)) == t, "7-Bit-Form hin und zurück", t);
    }
    return 0;
}

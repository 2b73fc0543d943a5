#include "listen.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "util/konvertieren.h"

#include <algorithm>

QString Anzeigename(const QString& name) {
    // The second blank-separated word, a blank, the first word.
    const QStringView n(name);
    const qsizetype b1 = n.indexOf(QLatin1Char(' '));
    const QStringView erstes = b1 < 0 ? n : n.left(b1);
    QStringView zweites;
    if (b1 >= 0) {
        const qsizetype b2 = n.indexOf(QLatin1Char(' '), b1 + 1);
        zweites = n.mid(b1 + 1, (b2 < 0 ? n.size() : b2) - b1 - 1);
    }
    QString a;
    a.reserve(erstes.size() + zweites.size() + 1);
    a.append(zweites).append(QLatin1Char(' ')).append(erstes);
    return a;
}

void ListenVorab() {
    try {
        DbBeginn(false);
        CacheObjektPtr k = Zustand().CacheFactory->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"));
        k->Methode(QStringLiteral("Listen"), {Zustand().Firma});
        ObjektSchliessen(k);
        DbEnde(false);
    } catch (const CacheFehler&) {
        DbEnde(false);
    }
}

QStringList AuswahlLesen(const QString& abfrage, const QStringList& argumente, QString* vorgang) {
    CacheAbfragePtr q;
    try {
        if (vorgang) *vorgang = QStringLiteral("Abfrage ") + abfrage;
        DbBeginn(false);
        const bool gruppen = abfrage == QLatin1String("Gruppen");
        q = Zustand().CacheFactory->Abfrage(
            QStringLiteral("UserVerwaltung.") +
                (gruppen ? QStringLiteral("Gruppen") : QStringLiteral("Programm")),
            abfrage);
        q->Ausfuehren(argumente);
        if (vorgang) *vorgang = QStringLiteral("Zeilen lesen");
        QStringList eintraege;
        while (q->Naechste())
            eintraege.append(q->Spalte(1));
        // Programs and sub-programs come descending, for boxes that insert at the top.
        if (!gruppen) std::reverse(eintraege.begin(), eintraege.end());
        ObjektSchliessen(q);
        DbEnde(false);
        return eintraege;
    } catch (const CacheFehler&) {
        ObjektSchliessen(q);
        throw;
    }
}

void MitarbeiterLesen(bool AbteilungenAnzeigen,
                      const std::function<void(QString zeile, const QString& code)>& je, QString* vorgang) {
    CacheAbfragePtr q;
    try {
        if (vorgang) *vorgang = QStringLiteral("Abfrage Liste");
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("KV.ParPersEdv"), QStringLiteral("Liste"));
        q->Ausfuehren({Zustand().Firma});
        if (vorgang) *vorgang = QStringLiteral("Zeilen lesen");
        const Konverter korval(QStringLiteral("KORVAL"), false);
        while (q->Naechste()) {
            const QString code = q->Spalte(1);
            if (!AbteilungenAnzeigen && code.startsWith(QLatin1Char('s'))) continue;
            const QString name = Anzeigename(korval(q->Spalte(2)));
            const QString anzeigeCode = korval(code);
            QString zeile;
            zeile.reserve(anzeigeCode.size() + 1 + name.size());
            zeile.append(anzeigeCode).append(QLatin1Char(';')).append(name);
            je(std::move(zeile), code);
        }
        ObjektSchliessen(q);
        DbEnde(false);
    } catch (const CacheFehler&) {
        ObjektSchliessen(q);
        throw;
    }
}

bool StufenLesen(const QString& programm, const QString& subprogramm, QStringList& stufen) {
    stufen.clear();
    CacheAbfragePtr q;
    try {
        DbBeginn(true);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Programm"),
                                            QStringLiteral("Stufen"));
        q->Ausfuehren({programm, subprogramm});
        while (q->Naechste())
            stufen.prepend(q->Spalte(1));
        ObjektSchliessen(q);
        DbEnde(true);
    } catch (const CacheFehler&) {
        ObjektSchliessen(q);
        DbEnde(true);
        return false;
    }
    return true;
}

#include "pflege.h"

#include "berechtigungen.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "util/programmverlauf.h"

#include <functional>

namespace Pflege {

using namespace Berechtigung;

namespace {

// Runs `arbeit` between DbBeginn and DbEnde in one transaction; on a failure
// rolls back and reports with the procedure's name and the current step.
bool InTransaktion(const QString& prozedur, const std::function<void(CacheFactory&, QString&)>& arbeit) {
    QString vorgang = QStringLiteral("Verbinden");
    try {
        DbBeginn(true);
        CacheFactory& f = *Zustand().CacheFactory;
        vorgang = QStringLiteral("Transaktion beginnen");
        f.TransaktionBeginnen();
        arbeit(f, vorgang);
        vorgang = QStringLiteral("Transaktion bestätigen");
        f.TransaktionBestaetigen();
        DbEnde(true);
        return true;
    } catch (const CacheFehler& e) {
        try {
            if (Zustand().CacheFactory) Zustand().CacheFactory->TransaktionZuruecknehmen();
        } catch (...) {
        }
        CacheFehlermeldung(e, prozedur + QLatin1Char(' ') + vorgang);
        return false;
    }
}

} // namespace

bool NamenPruefen(const QStringList& teile) {
    if (!EnthaeltTrenner(teile)) return true;
    Dialoge().MsgBox(QStringLiteral("Namen von Gruppen, Programmen, Unterprogrammen und Stufen dürfen "
                                    "\"||\" nicht enthalten.\r\nEs wurde nichts gespeichert."),
                     DialogService::Exclamation, QStringLiteral("Ungültiger Name"));
    return false;
}

bool GruppeSpeichern(const QString& gruppe, const QStringList& codes) {
    if (gruppe.isEmpty() || !NamenPruefen({gruppe})) return false;
    return InTransaktion(
        QStringLiteral("fmstart.cmdGruppeSpeichern_click"), [&](CacheFactory& f, QString& vorgang) {
            Programmverlauf(QStringLiteral("fmStart.cmdGruppeSpeichern_click"),
                            QStringLiteral("Gruppe:") + gruppe + QStringLiteral(" vorhanden?"), QString());
            vorgang = QStringLiteral("Gruppe anlegen");
            if (GruppeSicherstellen(f, gruppe))
                Programmverlauf(QStringLiteral("fmstart.cmdGruppeSpeichern_click"),
                                QStringLiteral("Gruppe muß angelegt werden"), gruppe);
            vorgang = QStringLiteral("Mitarbeiter speichern");
            SysListPtr liste = ListeBauen(f, codes);
            CacheObjektPtr klasse = f.Klassenmethoden(KlasseGruppen);
            klasse->Methode(QStringLiteral("SaveCodes"), {gruppe, liste});
            ObjektSchliessen(liste);
            ObjektSchliessen(klasse);
            Programmverlauf(QStringLiteral("fmstart.cmdGruppeSpeichern_click"),
                            QStringLiteral("Mitarbeiter hinzufügen"), QString());
        });
}

bool GruppeLoeschen(const QString& gruppe) {
    if (gruppe.isEmpty()) return false;
    return InTransaktion(QStringLiteral("fmstart.cmdGruppeLöschen_click"),
                         [&](CacheFactory& f, QString& vorgang) {
                             vorgang = QStringLiteral("Gruppe löschen");
                             DatensatzLoeschen(f, KlasseGruppen, gruppe);
                             // Withdrawing it from every program level is one server method: visiting
                             // each level record from here would cost a round trip per record.
                             vorgang = QStringLiteral("Gruppe aus allen Programmstufen entfernen");
                             CacheObjektPtr klasse = f.Klassenmethoden(KlasseProgramm);
                             klasse->Methode(QStringLiteral("GruppeEntziehen"), {gruppe});
                             ObjektSchliessen(klasse);
                         });
}

bool ProgrammStufeSpeichern(const QString& p, const QString& s, const QString& l,
                            const QStringList& gruppen) {
    if (p.isEmpty() || s.isEmpty() || l.isEmpty() || !NamenPruefen({p, s, l})) return false;
    return InTransaktion(QStringLiteral("fmstart.cmdProgrammSpeichern_click"),
                         [&](CacheFactory& f, QString& vorgang) {
                             Programmverlauf(QStringLiteral("fmStart.cmdProgrammSpeichern_click"),
                                             QStringLiteral("Programm:") + p + QLatin1Char(' ') + l +
                                                 QStringLiteral(" vorhanden?"),
                                             QString());
                             vorgang = QStringLiteral("Programm anlegen");
                             if (StufeSicherstellen(f, {p, s, l}))
                                 Programmverlauf(QStringLiteral("fmstart.cmdProgrammSpeichern_click"),
                                                 QStringLiteral("Programm muß angelegt werden"),
                                                 p + QLatin1Char(' ') + s + QLatin1Char(' ') + l);
                             vorgang = QStringLiteral("Gruppen speichern");
                             SysListPtr liste = ListeBauen(f, gruppen);
                             CacheObjektPtr klasse = f.Klassenmethoden(KlasseProgramm);
                             klasse->Methode(QStringLiteral("SaveGruppen"), {p, s, l, liste});
                             ObjektSchliessen(liste);
                             ObjektSchliessen(klasse);
                             Programmverlauf(QStringLiteral("fmstart.cmdProgrammSpeichern_click"),
                                             QStringLiteral("Gruppen hinzufügen"), QString());
                         });
}

static bool StufenLoeschen(const QString& prozedur, const QString& p, const QString& s) {
    return InTransaktion(prozedur, [&](CacheFactory& f, QString& vorgang) {
        vorgang = QStringLiteral("Stufen lesen");
        for (const Stufe& st : StufenDesProgramms(f, p, s)) {
            vorgang = QStringLiteral("Löschen ") + st.Id();
            DatensatzLoeschen(f, KlasseProgramm, st.Id());
        }
    });
}

bool ProgrammLoeschen(const QString& p) {
    if (p.isEmpty()) return false;
    return StufenLoeschen(QStringLiteral("fmstart.cmdProgrammLöschen_click"), p, QString());
}

bool SubProgrammLoeschen(const QString& p, const QString& s) {
    if (p.isEmpty() || s.isEmpty()) return false;
    return StufenLoeschen(QStringLiteral("fmstart.cmdSubProgrammLöschen_click"), p, s);
}

bool StufeLoeschen(const QString& p, const QString& s, const QString& l) {
    if (p.isEmpty() || s.isEmpty() || l.isEmpty()) return false;
    return InTransaktion(QStringLiteral("fmstart.cmdProgrammStufeLöschen_click"),
                         [&](CacheFactory& f, QString& vorgang) {
                             vorgang = QStringLiteral("Löschen ") + ProgrammId(p, s, l);
                             DatensatzLoeschen(f, KlasseProgramm, ProgrammId(p, s, l));
                         });
}

} // namespace Pflege

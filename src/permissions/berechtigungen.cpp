#include "berechtigungen.h"

#include "database/dbzugriff.h"

namespace Berechtigung {

QString ProgrammId(const QString& p, const QString& s, const QString& l) {
    return p + QStringLiteral("||") + s + QStringLiteral("||") + l;
}

QString Stufe::Id() const {
    return ProgrammId(programm, subprogramm, stufe);
}

bool GruppeSicherstellen(CacheFactory& f, const QString& gruppe) {
    try {
        CacheObjektPtr o = f.OpenId(KlasseGruppen, gruppe);
        ObjektSchliessen(o);
        return false;
    } catch (const CacheFehler&) {
        // Any failure of the open counts as "not there".
    }
    CacheObjektPtr neu = f.New(KlasseGruppen);
    neu->setEigenschaft(QStringLiteral("Gruppe"), gruppe);
    neu->Methode(QStringLiteral("sys_Save"));
    ObjektSchliessen(neu);
    return true;
}

bool StufeSicherstellen(CacheFactory& f, const Stufe& s) {
    try {
        CacheObjektPtr o = f.OpenId(KlasseProgramm, s.Id());
        ObjektSchliessen(o);
        return false;
    } catch (const CacheFehler&) {
    }
    CacheObjektPtr neu = f.New(KlasseProgramm);
    neu->setEigenschaft(QStringLiteral("ProgrammName"), s.programm);
    neu->setEigenschaft(QStringLiteral("BerechtigungsStufe"), s.stufe);
    neu->setEigenschaft(QStringLiteral("SubProgramm"), s.subprogramm);
    neu->Methode(QStringLiteral("sys_Save"));
    ObjektSchliessen(neu);
    return true;
}

SysListPtr ListeBauen(CacheFactory& f, const QStringList& werte) {
    SysListPtr l = f.NeueListe();
    l->Clear();
    l->setOdbcDelimiter(true);
    l->Werte().reserve(static_cast<size_t>(werte.size()));
    for (const QString& w : werte)
        l->Append(w);
    return l;
}

void DatensatzLoeschen(CacheFactory& f, const QString& klasse, const QString& id) {
    CacheObjektPtr o = f.OpenId(klasse, id);
    o->Methode(QStringLiteral("sys_deleteID"), {id});
    ObjektSchliessen(o);
}

std::vector<Stufe> StufenDesProgramms(CacheFactory& f, const QString& programm, const QString& subprogramm) {
    std::vector<Stufe> stufen;
    CacheAbfragePtr q = f.Abfrage(KlasseProgramm, QStringLiteral("Stufen"));
    q->Ausfuehren({programm, subprogramm});
    while (q->Naechste())
        stufen.push_back({programm, q->Spalte(2), q->Spalte(1)});
    ObjektSchliessen(q);
    return stufen;
}

bool EnthaeltTrenner(const QStringList& teile) {
    // "a|" + "||" + "b" and "a" + "||" + "|b" give the same id.
    for (const QString& t : teile)
        if (t.contains(QLatin1String("||")) || t.startsWith(QLatin1Char('|')) || t.endsWith(QLatin1Char('|')))
            return true;
    return false;
}

} // namespace Berechtigung

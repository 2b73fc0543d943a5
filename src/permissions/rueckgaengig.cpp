#include "rueckgaengig.h"
#include "pflege.h"

#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "util/plantext.h"
#include "util/programmverlauf.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSysInfo>

namespace Pflege {

namespace {

const QString Titel = QStringLiteral("Änderung rückgängig machen");

// One call of the server's undo: the plan, or with `marke` that plan stored.
RueckgaengigPlan Aufrufen(long long nr, const QString& marke, const QString& ausnahme = QString()) {
    CacheObjektPtr k = Zustand().CacheFactory->Klassenmethoden(QStringLiteral("UserVerwaltung.Protokoll"));
    if (!ausnahme.isEmpty()) k->Methode(QStringLiteral("Ausnahme"), {ausnahme});
    const QString antwort = k->Methode(QStringLiteral("Rueckgaengig"), {QString::number(nr), marke});
    ObjektSchliessen(k);
    const QJsonObject o = QJsonDocument::fromJson(antwort.toUtf8()).object();
    return {o.value(QStringLiteral("plan")).toArray(), o.value(QStringLiteral("marke")).toString(),
            o.value(QStringLiteral("gespeichert")).toBool(), o.value(QStringLiteral("befristungen")).toArray()};
}

} // namespace

std::optional<RueckgaengigPlan> PlanLesen(long long nr) {
    try {
        DbBeginn(true);
        RueckgaengigPlan p = Aufrufen(nr, QString());
        DbEnde(true);
        return p;
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("Rückgängig machen Plan lesen"));
        return std::nullopt;
    }
}

bool RueckgaengigMachen(long long nr, QStringList* objekte) {
    if (!Verwalter()) {
        Dialoge().MsgBox(QStringLiteral("Nur ein angemeldeter Verwalter (Berechtigungsgruppe 8 oder mehr) kann "
                                        "Änderungen zurücknehmen."),
                         DialogService::Exclamation, Titel);
        return false;
    }
    std::optional<RueckgaengigPlan> plan = PlanLesen(nr);
    if (!plan) return false;
    QString einleitung = QStringLiteral("Änderung Nr. %1 rückgängig machen:").arg(nr);
    QString ausnahme;
    for (;;) {
        if (Rueckgaengig::PlanLeer(plan->schritte)) {
            Dialoge().MsgBox((Rueckgaengig::PlanNurGeloescht(plan->schritte)
                                  ? QStringLiteral("Was die Änderung Nr. %1 geändert hat, wurde inzwischen gelöscht; "
                                                   "es gibt nichts rückgängig zu machen.%2")
                              : Rueckgaengig::PlanUeberholt(plan->schritte)
                                  ? QStringLiteral("Die Änderung Nr. %1 lässt sich nicht mehr zurücknehmen:%2")
                                  : QStringLiteral("Die Änderung Nr. %1 ist bereits zurückgenommen; es gibt nichts mehr "
                                                   "rückgängig zu machen.%2"))
                                 .arg(nr)
                                 .arg(plan->schritte.isEmpty() ? QString() : QStringLiteral("\r\n") + Rueckgaengig::PlanText(plan->schritte)),
                             DialogService::Information, Titel);
            return false;
        }
        if (ausnahme.isEmpty() &&
            Dialoge().Auswahl(einleitung + QStringLiteral("\r\n") +
                                  Rueckgaengig::Vorschau(plan->schritte, plan->befristungen),
                              Titel,
                              {QStringLiteral("Rückgängig machen"), QStringLiteral("Abbrechen")}) != 0)
            return false;
        try {
            DbBeginn(true);
            RueckgaengigPlan ergebnis = [&] {
                Eingabesperre sperre;
                return Aufrufen(nr, plan->marke, std::exchange(ausnahme, QString()));
            }();
            DbEnde(true);
            if (ergebnis.gespeichert) {
                Programmverlauf(QStringLiteral("Pflege.RueckgaengigMachen"), QStringLiteral("Änderung zurückgenommen"),
                                QString::number(nr));
                if (objekte)
                    for (const QJsonValue& v : ergebnis.schritte)
                        objekte->append(v.toObject().value(QStringLiteral("objekt")).toString());
                return true;
            }
            // Someone changed the records since the preview: show what it means now.
            plan = ergebnis;
            einleitung = QStringLiteral("Die Datensätze wurden inzwischen geändert. Änderung Nr. %1 rückgängig "
                                        "machen bedeutet jetzt:")
                             .arg(nr);
        } catch (const CacheFehler& e) {
            if (e.Nummer() == Fehlernummer::Unvereinbar) {
                // What it gives back would break a rule: stored again with a reason, or not at all.
                DbEnde(true);
                Konflikt k;
                k.verstoesse = VerstoesseLesen(e.Beschreibung());
                if (AusnahmeErfragen(k, ausnahme)) continue;
                return false;
            }
            CacheFehlermeldung(e, QStringLiteral("Rückgängig machen Nr. ") + QString::number(nr));
            return false;
        }
    }
}

std::optional<EigeneAenderung> LetzteEigeneAenderung() {
    const Anwendungszustand& z = Zustand();
    if (z.Benutzer.isEmpty()) return std::nullopt;
    try {
        DbBeginn(false);
        CacheAbfragePtr q = z.CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Protokoll"), QStringLiteral("Eigene"));
        q->Ausfuehren({QString::number(z.ProtokollBeginn), z.Firma, z.Personalcode, QSysInfo::machineHostName()});
        std::optional<EigeneAenderung> e;
        if (q->Naechste()) e = EigeneAenderung{q->Spalte(1).toLongLong(), q->Spalte(2), q->Spalte(3)};
        ObjektSchliessen(q);
        DbEnde(false);
        return e;
    } catch (const CacheFehler&) {
        DbEnde(false);
        return std::nullopt;
    }
}

} // namespace Pflege

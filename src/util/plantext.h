#pragma once
// An undo's plan as text, one line per record: what is created, deleted,
// added and removed, and which levels no longer exist. Shown by the program's
// question and printed by korval-db.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace Rueckgaengig {

inline QString Werte(const QJsonArray& a) {
    QStringList w;
    for (const QJsonValue& v : a) {
        if (w.size() == 10) {
            w.append(QStringLiteral("und %1 weitere").arg(a.size() - 10));
            break;
        }
        w.append(v.toString().isEmpty() ? QStringLiteral("(leer)") : v.toString());
    }
    return w.join(QStringLiteral(", "));
}

inline QString PlanText(const QJsonArray& schritte, int hoechstens = 25) {
    QStringList zeilen;
    for (const QJsonValue& v : schritte) {
        if (hoechstens > 0 && zeilen.size() == hoechstens) {
            zeilen.append(QStringLiteral("… und %1 weitere Datensätze").arg(schritte.size() - hoechstens));
            break;
        }
        const QJsonObject s = v.toObject();
        const QString o = s.value(QStringLiteral("objekt")).toString();
        const QJsonArray hinzu = s.value(QStringLiteral("hinzu")).toArray(),
                         weg = s.value(QStringLiteral("weg")).toArray();
        if (s.contains(QStringLiteral("text"))) {
            // An end date or a rule: what it is set back to, or why it stays.
            zeilen.append(o + QStringLiteral(": ") + s.value(QStringLiteral("text")).toString());
        } else if (s.value(QStringLiteral("fehlt")).toBool()) {
            zeilen.append(o + QStringLiteral(": wurde inzwischen gelöscht und bleibt gelöscht"));
        } else if (s.value(QStringLiteral("loeschen")).toBool()) {
            // Only what the record gained since its creation is news.
            const QJsonArray seither = s.value(QStringLiteral("seither")).toArray();
            zeilen.append(o + QStringLiteral(": wird gelöscht") +
                          (seither.isEmpty() ? QString()
                                             : QStringLiteral(" (hat inzwischen %1 %2 mehr: %3)")
                                                   .arg(seither.size())
                                                   .arg(seither.size() == 1 ? QStringLiteral("Eintrag")
                                                                            : QStringLiteral("Einträge"))
                                                   .arg(Werte(seither))));
        } else {
            QStringList teile;
            if (s.value(QStringLiteral("anlegen")).toBool()) teile.append(QStringLiteral("wird neu angelegt"));
            if (!hinzu.isEmpty()) teile.append(QStringLiteral("hinzu: ") + Werte(hinzu));
            if (!weg.isEmpty()) teile.append(QStringLiteral("entfernt: ") + Werte(weg));
            zeilen.append(o + QStringLiteral(": ") + teile.join(QStringLiteral("; ")));
        }
    }
    return zeilen.join(QStringLiteral("\r\n"));
}

// The plan with what it does to end dates (steps of objekt and text) below it.
inline QString Vorschau(const QJsonArray& schritte, const QJsonArray& befristungen, int hoechstens = 25) {
    QString t = PlanText(schritte, hoechstens);
    if (!befristungen.isEmpty()) t += QStringLiteral("\r\n") + PlanText(befristungen, hoechstens);
    return t;
}

// Whether the plan names records, all of them deleted since (nothing to do then either).
inline bool PlanNurGeloescht(const QJsonArray& schritte) {
    for (const QJsonValue& v : schritte)
        if (!v.toObject().value(QStringLiteral("fehlt")).toBool()) return false;
    return !schritte.isEmpty();
}

// Whether a step stays because its record was changed since (or cannot take its old state).
inline bool PlanUeberholt(const QJsonArray& schritte) {
    for (const QJsonValue& v : schritte)
        if (v.toObject().value(QStringLiteral("bleibt")).toBool()) return true;
    return false;
}

// Whether anything is left to do (steps for records that are gone, or that
// were changed since and stay, do nothing).
inline bool PlanLeer(const QJsonArray& schritte) {
    for (const QJsonValue& v : schritte)
        if (!v.toObject().value(QStringLiteral("fehlt")).toBool() && !v.toObject().value(QStringLiteral("bleibt")).toBool())
            return false;
    return true;
}

} // namespace Rueckgaengig

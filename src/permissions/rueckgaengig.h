#pragma once
// Taking back a change from the change log: a preview first, then the undo,
// computed and stored by the server under the locks of a save.

#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace Pflege {

// What an undo would do, step by step, and the server's mark for exactly that plan.
struct RueckgaengigPlan {
    QJsonArray schritte;
    QString marke;
    bool gespeichert = false;
    // What it does to end dates, for the preview.
    QJsonArray befristungen;
};

// The plan for entry `nr`; nullopt after a reported failure.
std::optional<RueckgaengigPlan> PlanLesen(long long nr);
// Asks with the preview ("Rückgängig machen" / "Abbrechen"), shows it again
// when the server's state changed meanwhile, and takes the change back.
// True when stored; `objekte` then names the records it touched.
bool RueckgaengigMachen(long long nr, QStringList* objekte = nullptr);

// This session's newest change of the signed-on user that can be taken back.
struct EigeneAenderung {
    long long nr = 0;
    QString befehl, objekt;
};
std::optional<EigeneAenderung> LetzteEigeneAenderung();

} // namespace Pflege

#include "pflege.h"

#include "berechtigungen.h"

#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "util/programmverlauf.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <functional>
#include <optional>

namespace Pflege {

using namespace Berechtigung;

namespace {

bool g_befehlLaeuft = false;

// Changes are made by a signed-on administrator only: after a failed or
// lesser sign-on from the menu the window stays, but stores nothing.
bool DarfAendern() {
    if (Verwalter()) return true;
    KeineBerechtigungMelden(Zustand().Benutzer);
    return false;
}

struct BefehlKlammer {
    BefehlKlammer() { g_befehlLaeuft = true; }
    ~BefehlKlammer() { g_befehlLaeuft = false; }
    BefehlKlammer(const BefehlKlammer&) = delete;
    BefehlKlammer& operator=(const BefehlKlammer&) = delete;
};

using Arbeit = std::function<void(CacheFactory&, QString&)>;
// After the connection broke during the commit: is the change on the server?
using Pruefung = std::function<bool(CacheFactory&)>;

// The commit's outcome is unknown: reconnect, read back and say what is stored.
bool AusgangKlaeren(const CacheFehler& fehler, const QString& vorgang, const Pruefung& gespeichert) {
    std::optional<bool> stand;
    try {
        DbBeginn(false);
        stand = gespeichert(*Zustand().CacheFactory);
        DbEnde(false);
    } catch (const CacheFehler&) {
        DbEnde(false);
    }
    if (stand && *stand) {
        Programmverlauf(QStringLiteral("cacheapi.CacheFehlermeldung"), vorgang,
                        QStringLiteral("Verbindung beim Bestätigen verloren; die Änderung ist gespeichert"));
        // The command ends before the message, so that the pointer is an arrow over it.
        DbEnde(true);
        Dialoge().MsgBox(QStringLiteral("Die Verbindung zum Server brach beim Bestätigen ab.\r\n"
                                        "Die Änderung ist gespeichert."),
                         DialogService::Information, QStringLiteral("Caché Zugriffsfehler"));
        return true;
    }
    CacheFehlermeldung(fehler, vorgang + (stand ? QStringLiteral(": nicht gespeichert")
                                                : QStringLiteral(": Ausgang unbekannt, bitte prüfen")));
    return false;
}

QStringList JsonListe(const QString& text) {
    QStringList l;
    for (const QJsonValue& v : QJsonDocument::fromJson(text.toUtf8()).array())
        l.append(v.toString());
    return l;
}

// Runs `arbeit` between DbBeginn and DbEnde in one transaction; on a failure
// rolls back and reports with the procedure's name and the current step. A
// command started while another runs (a click handled while the first one
// processes events) does nothing.
bool InTransaktion(const QString& prozedur, const Arbeit& arbeit, const Pruefung& gespeichert,
                   Konflikt* konflikt = nullptr) {
    if (g_befehlLaeuft || !DarfAendern()) return false;
    BefehlKlammer klammer;
    QString vorgang = QStringLiteral("Verbinden");
    try {
        DbBeginn(true);
        // Connected: from here to the commit nothing asks the user.
        Eingabesperre sperre;
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
        if (e.Nummer() == Fehlernummer::AusgangUnbekannt)
            return AusgangKlaeren(e, prozedur + QLatin1Char(' ') + vorgang, gespeichert);
        const Konflikt::Art art = e.Nummer() == Fehlernummer::Konflikt            ? Konflikt::Geaendert
                                  : e.Nummer() == Fehlernummer::KonfliktGeloescht ? Konflikt::Geloescht
                                  : e.Nummer() == Fehlernummer::KonfliktVorhanden ? Konflikt::Vorhanden
                                  : e.Nummer() == Fehlernummer::GruppeFehlt       ? Konflikt::GruppeFehlt
                                  : e.Nummer() == Fehlernummer::Unvereinbar       ? Konflikt::Unvereinbar
                                                                                  : Konflikt::Keiner;
        if (art != Konflikt::Keiner && konflikt) {
            // The window asks what to do; nothing was stored.
            DbEnde(true);
            Programmverlauf(prozedur, QStringLiteral("Gleichzeitige Änderung"), e.Beschreibung());
            konflikt->art = art;
            konflikt->beschreibung = e.Beschreibung();
            // "<GRUPPE FEHLT> " and the missing groups as a JSON list.
            if (art == Konflikt::GruppeFehlt) konflikt->gruppen = JsonListe(e.Beschreibung().section(QLatin1Char(' '), 2));
            if (art == Konflikt::Unvereinbar) konflikt->verstoesse = VerstoesseLesen(e.Beschreibung());
            return false;
        }
        if (e.Nummer() == Fehlernummer::KeineBerechtigung) {
            // The server knows nobody (or a lesser user) at this connection.
            DbEnde(true);
            Programmverlauf(prozedur, vorgang, e.Beschreibung());
            const QString code = e.Beschreibung().section(QLatin1Char(' '), 2);
            KeineBerechtigungMelden(code.isEmpty() ? QString()
                                    : Zustand().Benutzer.section(QLatin1Char('|'), 0, 0) == code ? Zustand().Benutzer
                                                                                                 : code);
            return false;
        }
        if (e.Nummer() == Fehlernummer::Gesperrt) {
            DbEnde(true);
            Programmverlauf(prozedur, vorgang, e.Beschreibung());
            Dialoge().MsgBox(QString(e.Beschreibung()).remove(QStringLiteral("<GESPERRT> ")) +
                                 QStringLiteral("\r\nEs wurde nichts gespeichert."),
                             DialogService::Exclamation, QStringLiteral("Gleichzeitige Änderung"));
            return false;
        }
        if (e.Beschreibung().startsWith(QLatin1String("<REGEL> "))) {
            DbEnde(true);
            Programmverlauf(prozedur, vorgang, e.Beschreibung());
            Dialoge().MsgBox(e.Beschreibung().mid(8) + QStringLiteral(".\r\nEs wurde nichts gespeichert."),
                             DialogService::Exclamation, QStringLiteral("Unvereinbare Rechte"));
            return false;
        }
        if (e.Beschreibung().startsWith(QLatin1String("<BEFRISTUNG> "))) {
            // The server refused the date (no member any more, no date): said plainly.
            DbEnde(true);
            Programmverlauf(prozedur, vorgang, e.Beschreibung());
            Dialoge().MsgBox(e.Beschreibung().mid(13) + QStringLiteral(".\r\nEs wurde nichts gespeichert."),
                             DialogService::Exclamation, QStringLiteral("Mitgliedschaft befristen"));
            return false;
        }
        CacheFehlermeldung(e, prozedur + QLatin1Char(' ') + vorgang);
        return false;
    }
}

bool Fehlt(CacheFactory& f, const QString& klasse, const QString& id) {
    try {
        CacheObjektPtr o = f.OpenId(klasse, id);
        ObjektSchliessen(o);
        return false;
    } catch (const CacheFehler& e) {
        if (e.Nummer() == Fehlernummer::ObjektFehlt) return true;
        throw;
    }
}

bool ListeIst(CacheFactory& f, const QString& klasse, const QString& id, const QString& eigenschaft,
              const QStringList& werte) {
    CacheObjektPtr o = f.OpenId(klasse, id);
    SysListPtr l = o->Liste(eigenschaft);
    ObjektSchliessen(o);
    const QStringList gelesen(l->Werte().begin(), l->Werte().end());
    // A level keeps its order; a group's members are a set.
    return klasse == KlasseProgramm ? gelesen == werte : GleicheMenge(gelesen, werte);
}

// One command as one server method: the record's id, the list to store (none
// for a delete) and what the window knows of the record, which the server
// compares under its lock; a level may newly grant missing groups only when
// the user agreed.
QString Befehl(CacheFactory& f, const QString& klasse, const QString& methode, const QStringList& id,
               const QStringList* liste, const Stand& stand) {
    std::vector<Argument> argumente(id.begin(), id.end());
    std::vector<SysListPtr> listen;
    if (liste) listen.push_back(ListeBauen(f, *liste));
    listen.push_back(ListeBauen(f, stand.geladen ? *stand.geladen : QStringList()));
    for (const SysListPtr& l : listen)
        argumente.emplace_back(l);
    argumente.emplace_back(stand.geladen    ? QStringLiteral("1")
                           : stand.abwesend ? QStringLiteral("2")
                                            : QStringLiteral("0"));
    if (liste && klasse == KlasseProgramm)
        argumente.emplace_back(stand.fehlendeGruppenErlaubt ? QStringLiteral("1") : QStringLiteral("0"));
    CacheObjektPtr k = f.Klassenmethoden(klasse);
    if (!stand.ausnahme.isEmpty()) k->Methode(QStringLiteral("Ausnahme"), {stand.ausnahme});
    const QString ergebnis = k->Methode(methode, argumente);
    ObjektSchliessen(k);
    for (SysListPtr& l : listen)
        ObjektSchliessen(l);
    return ergebnis;
}

} // namespace

std::vector<Verstoss> VerstoesseLesen(const QString& beschreibung) {
    const QString json = beschreibung.mid(beschreibung.indexOf(QLatin1Char(' ')) + 1);
    std::vector<Verstoss> v;
    auto liste = [](const QJsonValue& w) {
        QStringList l;
        for (const QJsonValue& x : w.toArray())
            l.append(x.toString());
        return l;
    };
    for (const QJsonValue& z : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonArray a = z.toArray();
        v.push_back({a.at(0).toString(), a.at(1).toString(), liste(a.at(2)), liste(a.at(3))});
    }
    return v;
}

bool AusnahmeErfragen(const Konflikt& k, QString& grund) {
    const QString titel = QStringLiteral("Unvereinbare Rechte");
    QStringList zeilen;
    constexpr int Hoechstens = 15;
    for (size_t i = 0; i < k.verstoesse.size() && i < Hoechstens; ++i) {
        const Verstoss& v = k.verstoesse[i];
        zeilen.append(QStringLiteral("%1: Regel \"%2\" – durch %3 und %4")
                          .arg(v.code, v.regel, v.seite1.join(QStringLiteral(", ")), v.seite2.join(QStringLiteral(", "))));
    }
    if (k.verstoesse.size() > Hoechstens)
        zeilen.append(QStringLiteral("… und %1 weitere").arg(k.verstoesse.size() - Hoechstens));
    const int antwort = Dialoge().Auswahl(
        QStringLiteral("Die Änderung gibt Mitarbeitern Rechte, die nach den Regeln unvereinbar sind "
                       "(Mitarbeiter: Regel – durch Gruppen):\r\n\r\n%1\r\n\r\nTrotzdem speichern: mit einem Grund, "
                       "der als Ausnahme protokolliert wird.\r\nAbbrechen: nichts speichern.")
            .arg(zeilen.join(QStringLiteral("\r\n"))),
        titel, {QStringLiteral("Trotzdem speichern"), QStringLiteral("Abbrechen")}, 1);
    if (antwort != 0) return false;
    grund = Dialoge()
                .InputBox(QStringLiteral("Grund der Ausnahme (wird mit der Änderung protokolliert):"), titel, QString())
                .trimmed();
    if (grund.isEmpty()) {
        Dialoge().MsgBox(QStringLiteral("Ohne Grund keine Ausnahme.\r\nEs wurde nichts gespeichert."),
                         DialogService::Exclamation, titel);
        return false;
    }
    return true;
}

bool GleicheMenge(QStringList a, QStringList b) {
    if (a.size() != b.size()) return false;
    a.sort();
    b.sort();
    return a == b;
}

std::optional<Serverstand> ListeLesen(const QString& klasse, const QString& id) {
    try {
        DbBeginn(false);
        CacheObjektPtr o = Zustand().CacheFactory->OpenId(klasse, id);
        SysListPtr l = o->Liste(klasse == KlasseGruppen ? QStringLiteral("PCODE") : QStringLiteral("Gruppe"));
        ObjektSchliessen(o);
        DbEnde(false);
        return Serverstand{true, QStringList(l->Werte().begin(), l->Werte().end())};
    } catch (const CacheFehler& e) {
        DbEnde(false);
        if (e.Nummer() == Fehlernummer::ObjektFehlt) return Serverstand{};
        return std::nullopt;
    }
}

QString LetzteAenderung(const QString& objekt, const Serverstand& jetzt) {
    try {
        DbBeginn(false);
        CacheAbfragePtr q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Protokoll"),
                                                            QStringLiteral("Letzte"));
        // A level's program and sub-program: their deletes take the level along.
        QStringList teile = objekt.startsWith(QLatin1String("Stufe ")) ? objekt.mid(6).split(QStringLiteral("||"))
                                                                        : QStringList();
        const bool stufe = teile.size() == 3;
        q->Ausfuehren({objekt, stufe ? QStringLiteral("Programm ") + teile[0] : QString(),
                       stufe ? QStringLiteral("Unterprogramm ") + teile[0] + QStringLiteral("||") + teile[1]
                             : QString()});
        QString text;
        // Only the change that left the record as it is now is the one to name.
        const bool zeile = q->Naechste();
        const bool eigenerEintrag = zeile && q->Spalte(7) == objekt;
        const QString nachher = zeile ? q->Spalte(6) : QString();
        const bool passt =
            zeile && (eigenerEintrag ? (jetzt.vorhanden ? !nachher.isEmpty() && GleicheMenge(JsonListe(nachher), jetzt.liste)
                                                        : nachher.isEmpty())
                                     : !jetzt.vorhanden && QJsonDocument::fromJson(q->Spalte(8).toUtf8())
                                                               .object()
                                                               .contains(objekt.mid(6)));
        if (passt) {
            const QDateTime zeit = QDateTime::fromString(q->Spalte(1), Qt::ISODateWithMs);
            // Writers without a user context are known by their workstation only.
            const QString wer = q->Spalte(2).isEmpty()
                                    ? QString()
                                    : QStringLiteral(" von %1 (Firma %2, Filiale %3)")
                                          .arg(q->Spalte(2), q->Spalte(3), q->Spalte(4));
            text = QStringLiteral("Zuletzt %1%2 auf %3 am %4.")
                       .arg(jetzt.vorhanden ? QStringLiteral("geändert") : QStringLiteral("gelöscht"), wer,
                            q->Spalte(5), zeit.toLocalTime().toString(QStringLiteral("dd.MM.yyyy 'um' HH:mm:ss")));
        }
        ObjektSchliessen(q);
        DbEnde(false);
        return text;
    } catch (const CacheFehler&) {
        DbEnde(false);
        return {};
    }
}

bool BefehlLaeuft() {
    return g_befehlLaeuft;
}

bool NamenPruefen(const QStringList& teile, const QStringList& werte) {
    // NUL and a lone half of a surrogate pair cannot be stored as typed on
    // every server: refused before any server work, like the separator.
    for (const QStringList* l : {&teile, &werte})
        for (const QString& t : *l)
            if (t.contains(QChar(0)) || !QStringView(t).isValidUtf16()) {
                Dialoge().MsgBox(QStringLiteral("Namen und Personalcodes dürfen keine Nullzeichen und keine "
                                                "unvollständigen Unicode-Zeichen enthalten.\r\n"
                                                "Es wurde nichts gespeichert."),
                                 DialogService::Exclamation, QStringLiteral("Ungültiger Name"));
                return false;
            }
    if (!EnthaeltTrenner(teile)) return true;
    Dialoge().MsgBox(QStringLiteral("Namen von Gruppen, Programmen, Unterprogrammen und Stufen dürfen "
                                    "\"||\" nicht enthalten und nicht mit \"|\" beginnen oder enden.\r\n"
                                    "Es wurde nichts gespeichert."),
                     DialogService::Exclamation, QStringLiteral("Ungültiger Name"));
    return false;
}

bool GruppeSpeichern(const QString& gruppe, const QStringList& codes, const Stand& stand) {
    if (gruppe.isEmpty() || !NamenPruefen({gruppe}, codes)) return false;
    bool neu = false;
    if (!InTransaktion(
            QStringLiteral("fmstart.cmdGruppeSpeichern_click"),
            [&](CacheFactory& f, QString& vorgang) {
                // Check, create, store and log: one server method, one round trip.
                vorgang = QStringLiteral("Mitarbeiter speichern");
                neu = Befehl(f, KlasseGruppen, QStringLiteral("Speichern"), {gruppe}, &codes, stand) ==
                      QLatin1String("1");
            },
            [&](CacheFactory& f) { return ListeIst(f, KlasseGruppen, gruppe, QStringLiteral("PCODE"), codes); },
            stand.konflikt))
        return false;
    // The steps the server took, once they are stored.
    Programmverlauf(QStringLiteral("fmStart.cmdGruppeSpeichern_click"),
                    QStringLiteral("Gruppe:") + gruppe + QStringLiteral(" vorhanden?"), QString());
    if (neu)
        Programmverlauf(QStringLiteral("fmstart.cmdGruppeSpeichern_click"), QStringLiteral("Gruppe muß angelegt werden"),
                        gruppe);
    Programmverlauf(QStringLiteral("fmstart.cmdGruppeSpeichern_click"), QStringLiteral("Mitarbeiter hinzufügen"),
                    QString());
    return true;
}

bool GruppeLoeschen(const QString& gruppe, const Stand& stand) {
    if (gruppe.isEmpty()) return false;
    return InTransaktion(QStringLiteral("fmstart.cmdGruppeLöschen_click"),
                         [&](CacheFactory& f, QString& vorgang) {
                             // The record and its withdrawal from every program level in one
                             // server method; gone already, its grants still go.
                             vorgang = QStringLiteral("Gruppe löschen");
                             if (Befehl(f, KlasseGruppen, QStringLiteral("Loeschen"), {gruppe}, nullptr, stand) ==
                                     QLatin1String("0") &&
                                 stand.warSchonWeg)
                                 *stand.warSchonWeg = true;
                         },
                         [&](CacheFactory& f) { return Fehlt(f, KlasseGruppen, gruppe); }, stand.konflikt);
}

bool ProgrammStufeSpeichern(const QString& p, const QString& s, const QString& l,
                            const QStringList& gruppen, const Stand& stand) {
    if (p.isEmpty() || s.isEmpty() || l.isEmpty() || !NamenPruefen({p, s, l}, gruppen)) return false;
    bool neu = false;
    if (!InTransaktion(
            QStringLiteral("fmstart.cmdProgrammSpeichern_click"),
            [&](CacheFactory& f, QString& vorgang) {
                vorgang = QStringLiteral("Gruppen speichern");
                neu = Befehl(f, KlasseProgramm, QStringLiteral("Speichern"), {p, s, l}, &gruppen, stand) ==
                      QLatin1String("1");
            },
            [&](CacheFactory& f) {
                return ListeIst(f, KlasseProgramm, ProgrammId(p, s, l), QStringLiteral("Gruppe"), gruppen);
            },
            stand.konflikt))
        return false;
    // The steps the server took, once they are stored.
    Programmverlauf(QStringLiteral("fmStart.cmdProgrammSpeichern_click"),
                    QStringLiteral("Programm:") + p + QLatin1Char(' ') + l + QStringLiteral(" vorhanden?"), QString());
    if (neu)
        Programmverlauf(QStringLiteral("fmstart.cmdProgrammSpeichern_click"),
                        QStringLiteral("Programm muß angelegt werden"), p + QLatin1Char(' ') + s + QLatin1Char(' ') + l);
    Programmverlauf(QStringLiteral("fmstart.cmdProgrammSpeichern_click"), QStringLiteral("Gruppen hinzufügen"),
                    QString());
    return true;
}

bool GruppeKopieren(const QString& quelle, const QString& ziel, bool mitglieder, bool stufen) {
    const QString titel = QStringLiteral("Gruppe kopieren");
    if (ziel.isEmpty()) {
        Dialoge().MsgBox(QStringLiteral("Bitte einen Namen für die neue Gruppe eingeben.\r\nEs wurde nichts "
                                        "gespeichert."),
                         DialogService::Exclamation, titel);
        return false;
    }
    if (quelle.isEmpty() || !NamenPruefen({ziel})) return false;
    Konflikt konflikt;
    const bool ok = InTransaktion(
        QStringLiteral("frmGruppeKopieren.cmdKopieren_Click"),
        [&](CacheFactory& f, QString& vorgang) {
            vorgang = QStringLiteral("Gruppe kopieren");
            CacheObjektPtr klasse = f.Klassenmethoden(KlasseGruppen);
            klasse->Methode(QStringLiteral("Kopieren"), {quelle, ziel, mitglieder ? QStringLiteral("1") : QStringLiteral("0"),
                                                        stufen ? QStringLiteral("1") : QStringLiteral("0")});
            ObjektSchliessen(klasse);
            Programmverlauf(QStringLiteral("frmGruppeKopieren.cmdKopieren_Click"), quelle + QStringLiteral(" → ") + ziel,
                            QString());
        },
        [&](CacheFactory& f) { return !Fehlt(f, KlasseGruppen, ziel); }, &konflikt);
    if (!ok && konflikt.art == Konflikt::Vorhanden)
        Dialoge().MsgBox(QStringLiteral("Die Gruppe \"%1\" besteht bereits.\r\nEs wurde nichts gespeichert.").arg(ziel),
                         DialogService::Exclamation, titel);
    return ok;
}

bool RechteUebernehmen(const QString& code, const std::vector<GruppeGelesen>& gruppen, Konflikt& konflikt,
                       const QString& ausnahme) {
    if (code.isEmpty() || gruppen.empty()) return false;
    QStringList namen;
    for (const GruppeGelesen& g : gruppen)
        namen.append(g.gruppe);
    if (!NamenPruefen(namen, {code})) return false;
    return InTransaktion(
        QStringLiteral("frmRechteUebernehmen.cmdUebernehmen_Click"),
        [&](CacheFactory& f, QString& vorgang) {
            // Every group checked against the members read for the preview and
            // extended by the code, in one server method.
            vorgang = QStringLiteral("Mitarbeiter speichern");
            QJsonArray liste;
            for (const GruppeGelesen& g : gruppen)
                liste.append(QJsonArray{g.gruppe, QJsonArray::fromStringList(g.mitglieder)});
            CacheObjektPtr klasse = f.Klassenmethoden(KlasseGruppen);
            if (!ausnahme.isEmpty()) klasse->Methode(QStringLiteral("Ausnahme"), {ausnahme});
            klasse->Methode(QStringLiteral("RechteUebernehmen"),
                            {code, QString::fromUtf8(QJsonDocument(liste).toJson(QJsonDocument::Compact))});
            ObjektSchliessen(klasse);
            Programmverlauf(QStringLiteral("frmRechteUebernehmen.cmdUebernehmen_Click"), code,
                            namen.join(QStringLiteral(", ")));
        },
        [&](CacheFactory& f) {
            for (const GruppeGelesen& g : gruppen)
                if (!ListeIst(f, KlasseGruppen, g.gruppe, QStringLiteral("PCODE"), g.mitglieder + QStringList{code}))
                    return false;
            return true;
        },
        &konflikt);
}

bool Befristen(const QString& gruppe, const QString& code, const QDate& bis, const QString& grund) {
    if (gruppe.isEmpty() || code.isEmpty() || !NamenPruefen({gruppe}, {code, grund})) return false;
    const QString datum = bis.isValid() ? bis.toString(Qt::ISODate) : QString();
    return InTransaktion(
        QStringLiteral("frmBefristen.cmdOK_Click"),
        [&](CacheFactory& f, QString& vorgang) {
            vorgang = QStringLiteral("Befristung speichern");
            CacheObjektPtr klasse = f.Klassenmethoden(KlasseGruppen);
            klasse->Methode(QStringLiteral("Befristen"), {gruppe, code, datum, grund});
            ObjektSchliessen(klasse);
            Programmverlauf(QStringLiteral("frmBefristen.cmdOK_Click"), gruppe + QLatin1Char(' ') + code,
                            datum.isEmpty() ? QStringLiteral("unbefristet") : datum);
        },
        [&](CacheFactory& f) {
            CacheAbfragePtr q = f.Abfrage(KlasseGruppen, QStringLiteral("Befristungen"));
            q->Ausfuehren({Zustand().Firma});
            bool da = false;
            while (q->Naechste())
                if (q->Spalte(1) == gruppe && q->Spalte(2) == code) da = q->Spalte(4) == datum;
            ObjektSchliessen(q);
            return datum.isEmpty() ? !da : da;
        });
}

QString BefristungsGrund(const QString& gruppe, const QString& code) {
    CacheAbfragePtr q;
    try {
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(KlasseGruppen, QStringLiteral("Befristungen"));
        q->Ausfuehren({Zustand().Firma});
        QString grund;
        while (q->Naechste())
            if (q->Spalte(1) == gruppe && q->Spalte(2) == code) grund = q->Spalte(5);
        ObjektSchliessen(q);
        DbEnde(false);
        return grund;
    } catch (const CacheFehler&) {
        // Only a preset of the dialog: without it the field starts empty.
        ObjektSchliessen(q);
        DbEnde(false);
        return {};
    }
}

std::optional<std::vector<Abgelaufen>> Ablauf(const QDate& heute) {
    std::vector<Abgelaufen> weg;
    const bool ok = InTransaktion(
        QStringLiteral("Ablauf"),
        [&](CacheFactory& f, QString& vorgang) {
            vorgang = QStringLiteral("Abgelaufene Befristungen entfernen");
            CacheObjektPtr klasse = f.Klassenmethoden(KlasseGruppen);
            const QString antwort = klasse->Methode(QStringLiteral("Ablauf"), {heute.toString(Qt::ISODate)});
            ObjektSchliessen(klasse);
            for (const QJsonValue& v : QJsonDocument::fromJson(antwort.toUtf8()).array()) {
                const QJsonArray a = v.toArray();
                weg.push_back({a.at(0).toString(), a.at(1).toString(), a.at(2).toString(), a.at(3).toString()});
            }
        },
        [](CacheFactory&) { return false; });
    if (!ok) return std::nullopt;
    return weg;
}

std::optional<std::vector<Regel>> RegelnLesen() {
    CacheAbfragePtr q;
    try {
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Regel"), QStringLiteral("Liste"));
        q->Ausfuehren({});
        std::vector<Regel> regeln;
        while (q->Naechste())
            regeln.push_back({q->Spalte(1), q->Spalte(2), {q->Spalte(3), q->Spalte(4), q->Spalte(5)},
                              {q->Spalte(6), q->Spalte(7), q->Spalte(8)}});
        ObjektSchliessen(q);
        DbEnde(false);
        return regeln;
    } catch (const CacheFehler& e) {
        ObjektSchliessen(q);
        CacheFehlermeldung(e, QStringLiteral("Regeln lesen"));
        return std::nullopt;
    }
}

namespace {
// A rule's change refused by the server: said plainly, nothing stored.
bool RegelBefehl(const QString& prozedur, const std::function<void(CacheObjekt&)>& befehl) {
    Konflikt konflikt;
    const bool ok = InTransaktion(
        prozedur,
        [&](CacheFactory& f, QString& vorgang) {
            vorgang = QStringLiteral("Regel speichern");
            CacheObjektPtr k = f.Klassenmethoden(QStringLiteral("UserVerwaltung.Regel"));
            befehl(*k);
            ObjektSchliessen(k);
        },
        [](CacheFactory&) { return false; }, &konflikt);
    if (!ok && konflikt.art != Konflikt::Keiner)
        Dialoge().MsgBox(konflikt.beschreibung.section(QStringLiteral("> "), 1) +
                             QStringLiteral(".\r\nEs wurde nichts gespeichert."),
                         DialogService::Exclamation, QStringLiteral("Unvereinbare Rechte"));
    return ok;
}
} // namespace

bool RegelSpeichern(const Regel& r, bool neu) {
    if (!NamenPruefen({r.name}, QStringList{r.beschreibung} + r.seite1 + r.seite2)) return false;
    return RegelBefehl(QStringLiteral("frmRegel.cmdOK_Click"), [&](CacheObjekt& k) {
        k.Methode(QStringLiteral("RegelSpeichern"),
                  {r.name, r.beschreibung, r.seite1.value(0), r.seite1.value(1), r.seite1.value(2), r.seite2.value(0),
                   r.seite2.value(1), r.seite2.value(2), neu ? QStringLiteral("1") : QStringLiteral("0")});
    });
}

bool RegelLoeschen(const QString& name) {
    return RegelBefehl(QStringLiteral("frmUnvereinbar.cmdLoeschen_Click"),
                       [&](CacheObjekt& k) { k.Methode(QStringLiteral("RegelLoeschen"), {name}); });
}

static bool StufenLoeschen(const QString& prozedur, const QString& p, const QString& s, bool* warSchonWeg) {
    return InTransaktion(
        prozedur,
        [&](CacheFactory& f, QString& vorgang) {
            // One server method deletes every level at once: a round trip per
            // level would grow with the program's size.
            vorgang = QStringLiteral("Stufen löschen");
            CacheObjektPtr klasse = f.Klassenmethoden(KlasseProgramm);
            const QString anzahl = klasse->Methode(QStringLiteral("StufenLoeschen"), {p, s});
            ObjektSchliessen(klasse);
            if (warSchonWeg) *warSchonWeg = anzahl == QLatin1String("0");
        },
        [&](CacheFactory& f) { return StufenDesProgramms(f, p, s).empty(); });
}

bool ProgrammLoeschen(const QString& p, bool* warSchonWeg) {
    if (p.isEmpty()) return false;
    return StufenLoeschen(QStringLiteral("fmstart.cmdProgrammLöschen_click"), p, QString(), warSchonWeg);
}

bool SubProgrammLoeschen(const QString& p, const QString& s, bool* warSchonWeg) {
    if (p.isEmpty() || s.isEmpty()) return false;
    return StufenLoeschen(QStringLiteral("fmstart.cmdSubProgrammLöschen_click"), p, s, warSchonWeg);
}

bool StufeLoeschen(const QString& p, const QString& s, const QString& l, const Stand& stand) {
    if (p.isEmpty() || s.isEmpty() || l.isEmpty()) return false;
    return InTransaktion(QStringLiteral("fmstart.cmdProgrammStufeLöschen_click"),
                         [&](CacheFactory& f, QString& vorgang) {
                             vorgang = QStringLiteral("Löschen ") + ProgrammId(p, s, l);
                             if (Befehl(f, KlasseProgramm, QStringLiteral("Loeschen"), {p, s, l}, nullptr, stand) ==
                                     QLatin1String("0") &&
                                 stand.warSchonWeg)
                                 *stand.warSchonWeg = true;
                         },
                         [&](CacheFactory& f) { return Fehlt(f, KlasseProgramm, ProgrammId(p, s, l)); },
                         stand.konflikt);
}

} // namespace Pflege

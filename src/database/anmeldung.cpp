#include "anmeldung.h"

#include "dbzugriff.h"
#include "fenster.h"
#include "verbindung.h"
#include "zustand.h"

#include "platform/dialogservice.h"
#include "platform/clock.h"
#include "platform/umgebung.h"
#include "util/feld.h"
#include "util/konvertieren.h"

// A database the program cannot store changes in (no change log, and none can
// be made) is said once, with the command that mends it; reading still works.
// So is a shared database whose workstations' role may write past the
// program's checks.
static void SchemaMelden(CacheFactory& f) {
    Anwendungszustand& z = Zustand();
    if (z.SchemaGemeldet) return;
    QString warum, ungesichert;
    try {
        CacheObjektPtr k = f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"));
        warum = k->Methode(QStringLiteral("SchemaPruefen"));
        ungesichert = k->Methode(QStringLiteral("SicherungPruefen"));
        ObjektSchliessen(k);
    } catch (const CacheFehler&) {
        // A server that cannot say is not a reason to refuse the sign-on.
        return;
    }
    if (warum.isEmpty() && ungesichert.isEmpty()) return;
    z.SchemaGemeldet = true;
    if (!warum.isEmpty())
        Dialoge().MsgBox(warum, DialogService::Exclamation, QStringLiteral("Datenbank nicht aktuell"));
    if (!ungesichert.isEmpty())
        Dialoge().MsgBox(ungesichert, DialogService::Exclamation, QStringLiteral("Datenbank nicht gesichert"));
}

// The newest log entry's number now; 0 when the log cannot say.
static long long ProtokollStand(CacheFactory& f) {
    try {
        CacheAbfragePtr q = f.Abfrage(QStringLiteral("UserVerwaltung.Protokoll"), QStringLiteral("Stand"));
        q->Ausfuehren({});
        const long long nr = q->Naechste() ? q->Spalte(1).toLongLong() : 0;
        ObjektSchliessen(q);
        return nr;
    } catch (const CacheFehler&) {
        return 0;
    }
}

bool user_anmeld() {
    Anwendungszustand& z = Zustand();
    z.Benutzer.clear();
    if (z.Kommandozeile.isEmpty()) z.Kommandozeile = z.ProgrammKommandozeile;
    VerbindungsdatenLesen();
    bool ergebnis = false;
    QString vorgang;
    try {
        DbBeginn(false);
        CacheFactory& f = *z.CacheFactory;
        vorgang = QStringLiteral("Anmeldung mit nicht existierendem Personalcode");
        const QString code = Konvertieren(z.Personalcode, QStringLiteral("GUIKORVAL"), true);
        bool richtig = false;
        {
            // One request checks the password on the server (it never travels
            // and is never answered) and brings the records read below and, for
            // an administrator, the window's lists: on a slow line every request
            // costs the whole round trip.
            CacheObjektPtr k = f.Klassenmethoden(QStringLiteral("KV.ParPersEdv"));
            // An administrator's sign-on also ends the memberships whose date
            // has passed (so that a single workstation needs no timer), before
            // this session's own changes begin.
            richtig = k->Methode(QStringLiteral("Anmeldedaten"),
                                 {z.Firma, code, z.Passwort, Uhr().Now().date().toString(Qt::ISODate)}) ==
                      QLatin1String("1");
            ObjektSchliessen(k);
        }
        CacheObjektPtr pers = f.OpenId(QStringLiteral("KV.ParPersEdv"), z.Firma + QStringLiteral("||") + code);
        if (!richtig || pers->Eigenschaft(QStringLiteral("Aktiv")) != QLatin1String("J")) {
            ObjektSchliessen(pers);
            Dialoge().MsgBox(QStringLiteral("Passwort Falsch oder Benutzer nicht Aktiv."),
                             DialogService::Information, QStringLiteral("Anmeldung an Caché."));
            z.AnmeldungFehlgeschlagen = true;
            if (z.Login) z.Login->PasswortMarkieren();
        } else {
            const QString pname = pers->Methode(QStringLiteral("PNAMELogicalToODBC"),
                                                {pers->Eigenschaft(QStringLiteral("PNAME"))});
            z.Benutzer = z.Personalcode + QLatin1Char('|') + pname;
            z.PName = pname;
            z.PNr = pers->Eigenschaft(QStringLiteral("PNR"));
            z.DW = pers->Eigenschaft(QStringLiteral("DW"));
            z.BerGrp = pers->Eigenschaft(QStringLiteral("BERGRP"));
            const QString abtnr = pers->Eigenschaft(QStringLiteral("ABTNR"));
            vorgang = QStringLiteral("Abteilungsermittlung");
            CacheObjektPtr abt =
                f.OpenId(QStringLiteral("KV.ParPersAbt"), z.Firma + QStringLiteral("||") + abtnr);
            z.AbtBez = abt->Methode(QStringLiteral("ABTBEZlogicaltoodbc"),
                                    {abt->Eigenschaft(QStringLiteral("abtbez"))});
            z.AbtNr = abt->Eigenschaft(QStringLiteral("ABTNR"));
            z.HAbtNr = abt->Eigenschaft(QStringLiteral("HAbtNr"));
            ObjektSchliessen(abt);
            vorgang = QStringLiteral("PersBasis Nummern");
            CacheObjektPtr basis =
                f.OpenId(QStringLiteral("KV.PersBasis"), z.Firma + QStringLiteral("||") + z.PNr);
            z.Fax = basis->Eigenschaft(QStringLiteral("Fax"));
            z.EMail = basis->Methode(QStringLiteral("EMailLogicalToODBC"),
                                     {basis->Eigenschaft(QStringLiteral("EMail"))});
            ObjektSchliessen(basis);
            ObjektSchliessen(pers);
            if (!z.Benutzer.isEmpty()) {
                vorgang = QStringLiteral("Firma Filiale Personal Setzen");
                CacheObjektPtr w = f.New(QStringLiteral("KV.Windows"));
                w->Methode(QStringLiteral("Xecute"),
                           {BenutzerkontextBefehl(z.Firma, z.Filiale, z.Personalcode)});
                ObjektSchliessen(w);
                vorgang = QStringLiteral("Datenbank prüfen");
                SchemaMelden(f);
                z.ProtokollBeginn = ProtokollStand(f);
                z.AnmeldungFehlgeschlagen = false;
                ergebnis = true;
            }
        }
        DbEnde(false);
    } catch (const CacheFehler& e) {
        z.AnmeldungFehlgeschlagen = true;
        z.AnmeldungPerDialog = true;
        z.Benutzer.clear();
        CacheFehlermeldung(e, QStringLiteral("cacheapi.user_anmeld ") + vorgang);
        return false;
    }
    if (z.Login) z.Login->Verbergen();
    if (z.ServerFenster) z.ServerFenster->Verbergen();
    return ergebnis;
}

QString UserViaPasswort(const QString& passwort) {
    Anwendungszustand& z = Zustand();
    QString code;
    bool begonnen = false;
    try {
        DbBeginn(false);
        begonnen = true;
        // The server finds the code; the password is not sent.
        CacheObjektPtr k = z.CacheFactory->Klassenmethoden(QStringLiteral("KV.ParPersEdv"));
        const QString gefunden = k->Methode(QStringLiteral("CodeSuchen"), {z.Firma, passwort});
        ObjektSchliessen(k);
        if (!gefunden.isEmpty()) code = Konvertieren(gefunden, QStringLiteral("KORVAL"), false);
    } catch (const CacheFehler&) {
        // Errors are ignored here: no code found.
        begonnen = true;
    }
    if (begonnen) DbEnde(false);
    return code;
}

void KeineBerechtigungMelden(const QString& benutzer, bool lesen) {
    const QString nichts = lesen ? QString() : QStringLiteral("\r\nEs wurde nichts gespeichert.");
    Dialoge().MsgBox(benutzer.isEmpty()
                         ? QStringLiteral("Es ist niemand angemeldet. Bitte melden Sie sich über \"Datei → Login\" "
                                          "an.") + nichts
                         : QStringLiteral("%1 darf die Benutzerverwaltung nicht verwenden (Berechtigungsgruppe unter "
                                          "8).")
                                   .arg(benutzer) +
                               nichts,
                     DialogService::Exclamation, QStringLiteral("Keine Berechtigung"));
}

bool DarfLesen() {
    if (Verwalter()) return true;
    KeineBerechtigungMelden(Zustand().Benutzer, true);
    return false;
}

bool Verwalter() {
    const Anwendungszustand& z = Zustand();
    if (z.Benutzer.isEmpty() || !IstZahl(z.BerGrp)) return false;
    return QString(z.BerGrp).replace(QLatin1Char(','), QLatin1Char('.')).toDouble() >= 8;
}

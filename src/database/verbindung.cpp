#include "verbindung.h"

#include "util/konvertieren.h"

#include "anmeldung.h"
#include "dbzugriff.h"
#include "fenster.h"
#include "zustand.h"

#include "platform/clock.h"
#include "platform/dialogservice.h"
#include "platform/settingsstore.h"
#include "platform/umgebung.h"
#include "util/feld.h"
#include "util/programmverlauf.h"

#include <QTimer>

#include <cmath>

namespace {
const QString Leer;
} // namespace

QString StandardServer() {
    return QStringLiteral("localhost");
}

bool KommandozeileGueltig(const QString& k) {
    const QString sp = QStringLiteral(" ");
    const QString code = Feld(k, sp, 3);
    return IstZahl(Feld(k, sp, 1)) && IstZahl(Feld(k, sp, 2)) && !IstZahl(code) &&
           code.size() <= 3;
}

QString ConnStrgAus(const QString& server, const QString& port, const QString& ns) {
    return QStringLiteral("cn_iptcp:") + server + QLatin1Char('[') + port + QStringLiteral("]:") + ns;
}

void ConnStrgBauen() {
    Anwendungszustand& z = Zustand();
    z.ConnStrg = ConnStrgAus(z.Server, z.Port, z.Namespace);
}

static void FensterFuellen() {
    Anwendungszustand& z = Zustand();
    if (VerbindungsFenster* s = z.ServerFenster) {
        s->setFeld(VerbindungsFenster::FeldFirma, z.Firma);
        s->setFeld(VerbindungsFenster::FeldFiliale, z.Filiale);
        s->setFeld(VerbindungsFenster::FeldServer, z.Server);
        s->setFeld(VerbindungsFenster::FeldPort, z.Port);
        s->setFeld(VerbindungsFenster::FeldNamespace, z.Namespace);
        s->setFeld(VerbindungsFenster::FeldWJ, z.WJ);
    }
    if (z.Login) z.Login->setBUSER(z.Personalcode);
}

void VerbindungsdatenLesen() {
    Anwendungszustand& z = Zustand();
    const QString sp = QStringLiteral(" ");
    if (KommandozeileGueltig(z.Kommandozeile)) {
        const QString& k = z.Kommandozeile;
        z.Firma = Feld(k, sp, 1, QStringLiteral("1"));
        z.Filiale = Feld(k, sp, 2, QStringLiteral("0"));
        z.Personalcode = Feld(k, sp, 3);
        z.Passwort = Feld(k, sp, 4);
        z.Server = Feld(k, sp, 5, StandardServer());
        z.Port = Feld(k, sp, 6, QStringLiteral("1973"));
        z.Namespace = Feld(k, sp, 7, QStringLiteral("KORVAL"));
        z.WJ = Feld(k, sp, 8);
        z.Kommandozeile.clear();
        z.VerbindungAusKommandozeile = true;
        FensterFuellen();
    } else if (z.VerbindungAusKommandozeile) {
        // No stored server is asked for: the session's connection stays.
        if (z.Login && !z.Login->IstSichtbar()) z.Login->ModalZeigen();
        VerbindungsdatenAusFenster();
    } else {
        EinstellungenLesen(false);
        const bool keinStandard = z.Login && z.Login->KeinStandardserver;
        if (keinStandard || z.Personalcode.isEmpty() || z.Passwort.isEmpty() || z.AnmeldungPerDialog ||
            z.AnmeldungFehlgeschlagen) {
            if (z.Login && !z.Login->IstSichtbar()) z.Login->ModalZeigen();
            VerbindungsdatenAusFenster();
        }
    }
    ConnStrgBauen();
}

void EinstellungenLesen(bool nurServerdaten) {
    Anwendungszustand& z = Zustand();
    SettingsStore& s = Einstellungen();
    z.ServerObjekt = s.Get(QStringLiteral("ServerObjekt"));
    // Older settings may hold 255, the connection list's "no entry chosen".
    if ((z.ServerObjekt.isEmpty() || z.ServerObjekt == QLatin1String("255")) && z.Login)
        z.Login->KeinStandardserver = true;
    z.Server = s.Get(QStringLiteral("Server"));
    if (z.Server.isEmpty())
        z.Server =
            Dialoge().InputBox(QStringLiteral("IP/Name Standard-Server:"), QStringLiteral("Anmeldung"), Leer);
    z.Firma = s.Get(QStringLiteral("Firma"), QStringLiteral("1"));
    z.Filiale = s.Get(QStringLiteral("Filiale"), QStringLiteral("0"));
    z.Port = s.Get(QStringLiteral("Port"));
    if (z.Port.isEmpty())
        z.Port = Dialoge().InputBox(QStringLiteral("Standard-Port:"), QStringLiteral("Anmeldung"), Leer);
    z.Namespace = s.Get(QStringLiteral("Namespace"), QStringLiteral("KORVAL"));
    ConnStrgBauen();
    bool fehler = false;
    z.WJ = dbcall(QStringLiteral("S P0=$P(^FA(0),\"`\",2) W P0"), fehler);
    if (!nurServerdaten) {
        z.Personalcode = s.Get(QStringLiteral("Name"));
        if (!z.AnmeldungPerDialog) {
            z.Passwort = PasswortCodieren(s.Get(QStringLiteral("Passwort")));
            if (z.Login) z.Login->setBPASSWORT(z.Passwort);
            z.Personalcode = UserViaPasswort(z.Passwort);
        }
        FensterFuellen();
    }
}

void VerbindungsdatenAusFenster() {
    Anwendungszustand& z = Zustand();
    VerbindungsFenster* s = z.VerbindungAusKommandozeile ? nullptr : z.ServerFenster;
    if (s) {
        if (s->EintragNr != 255) z.ServerObjekt = QString::number(s->EintragNr);
        z.Firma = s->Feld(VerbindungsFenster::FeldFirma);
        z.Filiale = s->Feld(VerbindungsFenster::FeldFiliale);
        z.Server = s->Feld(VerbindungsFenster::FeldServer);
        z.Port = s->Feld(VerbindungsFenster::FeldPort);
        z.Namespace = s->Feld(VerbindungsFenster::FeldNamespace);
        z.WJ = s->Feld(VerbindungsFenster::FeldWJ);
    }
    if (z.Login) z.Passwort = z.Login->BPASSWORT();
    z.Personalcode = UserViaPasswort(z.Passwort);
    ConnStrgBauen();
}

static bool VerbindungSteht() {
    Anwendungszustand& z = Zustand();
    try {
        return z.CacheFactory && z.CacheFactory->IsConnected();
    } catch (...) {
        return false;
    }
}

namespace {
bool g_aufbau = false;
struct Aufbau {
    Aufbau() { g_aufbau = true; }
    ~Aufbau() { g_aufbau = false; }
    Aufbau(const Aufbau&) = delete;
    Aufbau& operator=(const Aufbau&) = delete;
};
} // namespace

bool VerbindungsaufbauLaeuft() {
    return g_aufbau;
}

void Verbinden() {
    Anwendungszustand& z = Zustand();
    if (VerbindungSteht()) return;
    Aufbau aufbau;
    int versuche = 0;
    bool fensterGezeigt = false;
    for (;;) {
        if (!z.FactoryErzeugen)
            throw CacheFehler(Fehlernummer::NichtVerbunden, QStringLiteral("<DISCONNECT> kein Datenbank-Client"));
        z.CacheFactory = z.FactoryErzeugen();
        const bool ok = z.CacheFactory->Connect(z.ConnStrg) && z.CacheFactory->IsConnected();
        if (ok) break;
        Programmverlauf(QStringLiteral("cacheapi.Verbinden"), QStringLiteral("Verbindung fehlgeschlagen"),
                        z.CacheFactory->LetzterFehler());
        ++versuche;
        if (versuche >= 3 && !fensterGezeigt) {
            Dialoge().MsgBox(QStringLiteral("Server nach 3 Versuchen nicht erreichbar!\r\n"
                                            "Bitte Kontrollieren Sie die Verbindungsdaten"),
                             DialogService::Exclamation, QStringLiteral("Anmeldung an Caché"));
            if (z.ServerFenster) z.ServerFenster->ModalZeigen();
            fensterGezeigt = true;
            versuche = 0;
            continue;
        }
        if (versuche >= 3) {
            // The last attempt's reason, its first part: "Anmeldung am Datenbankserver abgelehnt".
            const QString grund = z.CacheFactory->LetzterFehler().section(QStringLiteral(": "), 0, 0);
            Dialoge().MsgBox(
                QStringLiteral("Der Server ist nicht erreichbar!\r\n"
                               "Bitte Versuchen Sie die Anmeldung zu einem späteren Zeitpunk noch ein "
                               "mal.") +
                    (grund.isEmpty() ? QString() : QStringLiteral("\r\nGrund: ") + grund),
                DialogService::Critical, QStringLiteral("Anmeldung an Caché"));
            if (z.ServerFenster) z.ServerFenster->Verbergen();
            z.Benutzer.clear();
            if (VerbindungSteht()) z.CacheFactory->Disconnect();
            if (z.Login)
                z.Login->BUAusst_Click();
            else
                ProgrammBeenden();
            // Only reached when ending the program was intercepted (tests).
            throw CacheFehler(Fehlernummer::NichtVerbunden,
                              QStringLiteral("<DISCONNECT> Server nicht erreichbar"));
        }
        EreignisseVerarbeiten();
        long vergangen = 0;
        Warten(1000, vergangen);
    }
    CacheObjektPtr w = z.CacheFactory->New(QStringLiteral("KV.Windows"));
    // Until someone has signed on, the code of the settings is nobody's: what
    // is changed then (a connection entry from the login dialog) names no user.
    w->Methode(QStringLiteral("Xecute"),
               {BenutzerkontextBefehl(z.Firma, z.Filiale, z.Benutzer.isEmpty() ? QString() : z.Personalcode)});
    w->Methode(QStringLiteral("Xecute"), {QStringLiteral("D ^%XTT")});
    ObjektSchliessen(w);
    // A new connection is a new server process, where nobody is signed on:
    // the user of the broken one signs on again, or changes are refused.
    if (!z.Benutzer.isEmpty()) {
        CacheObjektPtr k = z.CacheFactory->Klassenmethoden(QStringLiteral("KV.ParPersEdv"));
        k->Methode(QStringLiteral("Anmeldedaten"),
                   {z.Firma, Konvertieren(z.Personalcode, QStringLiteral("GUIKORVAL"), true), z.Passwort});
        ObjektSchliessen(k);
    }
}

void Trennen() {
    Anwendungszustand& z = Zustand();
    z.DbZugriffe = 0;
    if (z.ServerFenster)
        if (QTimer* t = z.ServerFenster->Lock()) t->stop();
    try {
        if (VerbindungSteht()) z.CacheFactory->Disconnect();
    } catch (...) {
    }
}

void ProgrammBeenden() {
    Anwendungszustand& z = Zustand();
    if (z.AlleFensterEntladen) z.AlleFensterEntladen();
    if (z.Beenden) z.Beenden();
}

void Warten(long hundertstel, long& vergangen) {
    Clock& uhr = Uhr();
    const double dauer = hundertstel / 100.0;
    const double start = uhr.SecondsSinceMidnight();
    double jetzt = start;
    // The second test ends the wait when the clock passes midnight.
    while (jetzt < start + dauer && jetzt + 0.01 > start) {
        const double rest = start + dauer - jetzt;
        uhr.WaitStep(static_cast<int>(std::min(rest * 1000.0, 50.0)) + 1);
        jetzt = uhr.SecondsSinceMidnight();
    }
    vergangen = std::lround(jetzt - start);
}

QString PasswortCodieren(const QString& text) {
    QString s = text;
    for (QChar& c : s)
        c = QChar(static_cast<char16_t>(c.unicode() ^ 3));
    return s;
}

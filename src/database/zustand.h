#pragma once
// The application-wide values that every window reads and writes.

#include "cacheclient.h"

#include <QString>

#include <functional>

class AnmeldeFenster;
class VerbindungsFenster;

struct Anwendungszustand {
    QString Firma, Filiale, WJ, Server, Port, Namespace, ServerObjekt, ConnStrg;
    QString Kommandozeile, Personalcode, Passwort, Benutzer;
    QString PName, PNr, BerGrp, AbtBez, AbtNr, HAbtNr, DW, Fax, EMail;
    CacheFactoryPtr CacheFactory;
    long DbZugriffe = 0;
    // The change log's last entry when the user signed on: later ones of the
    // user's are this session's own changes.
    long long ProtokollBeginn = 0;
    bool AnmeldungPerDialog = false;
    bool AnmeldungFehlgeschlagen = false;
    // The connection data of this session came from the command line: later
    // sign-ons keep them and take only code and password from the login dialog.
    bool VerbindungAusKommandozeile = false;
    // The server said once in this run that changes cannot be stored (an outdated schema).
    bool SchemaGemeldet = false;

    // The program's own command line (fields after the program name, blank-separated).
    QString ProgrammKommandozeile;
    // The windows the connection procedures fill and show.
    AnmeldeFenster* Login = nullptr;
    VerbindungsFenster* ServerFenster = nullptr;
    // Makes a new client for every connect attempt; the entry point installs the server's.
    std::function<CacheFactoryPtr()> FactoryErzeugen;
    // Unloads every window and ends the program at once.
    std::function<void()> AlleFensterEntladen;
    std::function<void()> Beenden;
};

Anwendungszustand& Zustand();
// Back to the start values, keeping the windows and hooks (tests).
void ZustandZuruecksetzen();

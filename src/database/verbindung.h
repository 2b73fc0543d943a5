#pragma once
// Which server, port, namespace, company and branch; the connection string;
// connecting with three attempts 10 seconds apart; closing and ending.

#include <QString>

bool KommandozeileGueltig(const QString& kommandozeile);
QString ConnStrgAus(const QString& server, const QString& port, const QString& ns);
void ConnStrgBauen();
void VerbindungsdatenLesen();
void EinstellungenLesen(bool nurServerdaten);
void VerbindungsdatenAusFenster();
void Verbinden();
// True while Verbinden is trying to connect (the connection window may be shown then).
bool VerbindungsaufbauLaeuft();
void Trennen();
void ProgrammBeenden();
void Warten(long hundertstel, long& vergangen);
QString PasswortCodieren(const QString& text);

// The built-in default server address.
QString StandardServer();

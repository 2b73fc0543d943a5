#pragma once
// Filling the main window's choice lists from the server. Each returns false
// after reporting a failure; the lists then keep what was loaded.

// The readers it shares with the overview.
#include "permissions/listen.h"

#include <QString>

class CtList;
class QComboBox;

bool GruppenLaden(QComboBox* cmbGruppe);
bool ProgrammeLaden(QComboBox* cmbProgramm);
bool SubProgrammeLaden(QComboBox* cmbProgramm, QComboBox* cmbSubProgramm);
bool MitarbeiterLaden(CtList* ctListMitarbeiter, bool AbteilungenAnzeigen);

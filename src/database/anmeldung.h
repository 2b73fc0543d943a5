#pragma once
// Signing the user on and finding a personal code by its password.

#include <QString>

bool user_anmeld();
QString UserViaPasswort(const QString& passwort);

// Whether the user signed on now may use the program: signed on, permission group 8 or more.
bool Verwalter();
// "Keine Berechtigung": nobody signed on (`benutzer` empty), or who is, below
// group 8; `lesen`: for a look, not a change.
void KeineBerechtigungMelden(const QString& benutzer, bool lesen = false);
// Who may not change permissions may not read them here either: says so.
bool DarfLesen();

#pragma once
// Signing the user on and finding a personal code by its password.

#include <QString>

bool user_anmeld();
QString UserViaPasswort(const QString& passwort);

// Whether the user signed on now may use the program: signed on, permission group 8 or more.
bool Verwalter();

#pragma once
// Signing the user on and finding a personal code by its password.

#include <QString>

bool user_anmeld();
QString UserViaPasswort(const QString& passwort);

#pragma once
// What a fuzz target reports: a broken property ends the run like a crash.

#include <QString>

#include <cstdio>
#include <cstdlib>

inline void Pruefen(bool ok, const char* was, const QString& eingabe = {}) {
    if (ok) return;
    std::fprintf(stderr, "Eigenschaft verletzt: %s (%s)\n", was, eingabe.toUtf8().toHex().constData());
    std::abort();
}

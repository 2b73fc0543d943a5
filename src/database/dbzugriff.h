#pragma once
// Bracketing of every server operation, closing of server objects, one server
// command line, and the program's one error report.

#include "cacheclient.h"

#include <memory>

void DbBeginn(bool sanduhr);
void DbEnde(bool sanduhr);
QString dbcall(const QString& befehl, bool& fehler);
void CacheFehlermeldung(const CacheFehler& fehler, const QString& vorgang);
// The message text of the error report.
QString Fehlermeldungstext(const CacheFehler& fehler, const QString& vorgang);

void EreignisseVerarbeiten();

// Processes pending window events, calls sys_close (ignoring errors) and releases.
template <typename T> void ObjektSchliessen(std::unique_ptr<T>& objekt) {
    EreignisseVerarbeiten();
    if (objekt) {
        try {
            objekt->sys_close();
        } catch (...) {
        }
    }
    objekt.reset();
}

inline void ObjektSchliessen(std::shared_ptr<SysList>& liste) {
    liste.reset();
}

// The server command that sets the user context, safe for any personal code.
QString BenutzerkontextBefehl(const QString& firma, const QString& filiale, const QString& personalcode);

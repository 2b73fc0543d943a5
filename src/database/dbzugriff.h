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

// While a command is on the server, the window keeps painting but takes no
// input: a key press or click handled then would start a read inside the
// command's transaction or change what the window believes it loaded. Input
// arriving meanwhile is dropped, as under an hourglass. Not for a span that
// may show a dialog (connecting, error reports): those need the user.
class Eingabesperre {
  public:
    Eingabesperre();
    ~Eingabesperre();
    Eingabesperre(const Eingabesperre&) = delete;
    Eingabesperre& operator=(const Eingabesperre&) = delete;
    static bool Aktiv();
};

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

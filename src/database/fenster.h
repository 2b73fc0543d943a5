#pragma once
// What the connection and sign-on procedures need of the login window FMPass
// and of the connection window FMServer. The windows implement these.

#include <QString>

class QTimer;

class AnmeldeFenster {
  public:
    virtual ~AnmeldeFenster() = default;
    // No standard entry of the connection list has been stored.
    bool KeinStandardserver = false;
    virtual QString BPASSWORT() const = 0;
    virtual void setBPASSWORT(const QString& text) = 0;
    virtual QString BUSER() const = 0;
    virtual void setBUSER(const QString& text) = 0;
    virtual bool IstSichtbar() const = 0;
    virtual void ModalZeigen() = 0;
    virtual void Verbergen() = 0;
    // Selects the whole password without moving the focus.
    virtual void PasswortMarkieren() = 0;
    // The exit button: empties Benutzer and ends the program.
    virtual void BUAusst_Click() = 0;
};

class VerbindungsFenster {
  public:
    enum Feldname { FeldFirma, FeldFiliale, FeldServer, FeldPort, FeldNamespace, FeldWJ };
    virtual ~VerbindungsFenster() = default;
    // The chosen entry's object id; 255 = none chosen.
    int EintragNr = 255;
    virtual QString Feld(Feldname f) const = 0;
    virtual void setFeld(Feldname f, const QString& text) = 0;
    virtual void ModalZeigen() = 0;
    virtual void Verbergen() = 0;
    // The idle-disconnect timer.
    virtual QTimer* Lock() = 0;
};

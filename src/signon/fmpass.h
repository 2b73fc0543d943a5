#pragma once
// FMPass: the login dialog. Takes the password and the connection, stores the
// sign-on data, and signs on again when opened from the main window's menu.

#include "database/fenster.h"

#include <QDialog>

class CtPush;
class FMServer;
class QLabel;
class QLineEdit;
class QPushButton;

class FMPass final : public QDialog, public AnmeldeFenster {
    Q_OBJECT
  public:
    FMPass(FMServer* server, QWidget* parent = nullptr);

    // The main window whose caption a renewed sign-on rewrites.
    void setHauptfenster(QWidget* w) { m_haupt = w; }

    // AnmeldeFenster
    QString BPASSWORT() const override;
    void setBPASSWORT(const QString& text) override;
    QString BUSER() const override;
    void setBUSER(const QString& text) override;
    bool IstSichtbar() const override { return isVisible(); }
    void ModalZeigen() override;
    void Verbergen() override;
    void PasswortMarkieren() override;
    void BUAusst_Click() override;

    void Form_Activate();
    void cmdServer_Click();
    void BUSpeich_Click();

  signals:
    // A sign-on from the menu took place (it may have failed or named a lesser user).
    void Angemeldet();

  public:
    // The caption after a renewed sign-on: up to the first "[", cut after the last ":", the user.
    static QString NeueUeberschrift(const QString& alt, const QString& benutzer);

    QLabel* Label3;
    QLineEdit* txtPasswort; // BPASSWORT
    CtPush* BUAusst;
    QPushButton* cmdServer;
    CtPush* BUSpeich;
    QLineEdit* txtUser; // BUSER
    QLabel* Label5;

    // Escape and the close box: at start-up the same as "Abbruch", from the menu only closing.
    void reject() override;

  protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    FMServer* m_server;
    QWidget* m_haupt = nullptr;
};

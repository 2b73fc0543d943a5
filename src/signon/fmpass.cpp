#include "fmpass.h"

#include "fmserver.h"

#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "platform/dialogservice.h"
#include "platform/plattform.h"
#include "platform/settingsstore.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctpush.h"
#include "util/feld.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {
void Setzen(QWidget* w, int l, int t, int b, int h) {
    w->setGeometry(Plattform::Pixel(l), Plattform::Pixel(t), Plattform::Pixel(b), Plattform::Pixel(h));
}
} // namespace

FMPass::FMPass(FMServer* server, QWidget* parent) : QDialog(parent), m_server(server) {
    setObjectName(QStringLiteral("FMPass"));
    setWindowTitle(QStringLiteral("KORVAL Benutzeranmeldung"));
    // Wider than the design by the room "Korval Passwort:" needs in today's fonts.
    constexpr int Versatz = 300;
    setFixedSize(Plattform::Pixel(3975 + Versatz), Plattform::Pixel(1065));

    Label3 = new QLabel(QStringLiteral("Korval Passwort:"), this);
    Setzen(Label3, 120, 120, 1335 + Versatz, 255);
    txtPasswort = new QLineEdit(this);
    txtPasswort->setObjectName(QStringLiteral("BPASSWORT"));
    txtPasswort->setEchoMode(QLineEdit::Password);
    Plattform::SternchenAlsPasswortzeichen(txtPasswort);
    txtPasswort->setAccessibleName(QStringLiteral("Korval Passwort"));
    Label3->setBuddy(txtPasswort);
    Setzen(txtPasswort, 1440 + Versatz, 120, 2415, 315);
    BUAusst = new CtPush(QStringLiteral("Abbruch"), this);
    BUAusst->setObjectName(QStringLiteral("BUAusst"));
    Setzen(BUAusst, 120, 600, 1215, 375);
    cmdServer = new QPushButton(QStringLiteral("Server"), this);
    cmdServer->setObjectName(QStringLiteral("cmdServer"));
    Setzen(cmdServer, 1440 + Versatz, 600, 975, 375);
    BUSpeich = new CtPush(QStringLiteral("Anmelden"), this);
    BUSpeich->setObjectName(QStringLiteral("BUSpeich"));
    BUSpeich->setDefault(true);
    Setzen(BUSpeich, 2520 + Versatz, 600, 1335, 375);
    // Below the inner area: kept for older programs, never seen.
    txtUser = new QLineEdit(this);
    txtUser->setObjectName(QStringLiteral("BUSER"));
    txtUser->setAccessibleName(QStringLiteral("Personalcode"));
    Setzen(txtUser, 2400, 1680, 1455, 285);
    Label5 = new QLabel(QStringLiteral("für Kompatibilität mit Altprog!:"), this);
    Setzen(Label5, 240, 1725, 2025, 195);
    // Below the visible area: hidden for real, so that no screen reader announces them.
    txtUser->setVisible(false);
    Label5->setVisible(false);

    setTabOrder(txtPasswort, BUSpeich);
    setTabOrder(BUSpeich, cmdServer);
    setTabOrder(cmdServer, BUAusst);
    setTabOrder(BUAusst, txtUser);

    // The dialog's focus goes to the password.
    setFocusProxy(txtPasswort);
    txtPasswort->installEventFilter(this);
    txtUser->installEventFilter(this);
    connect(BUAusst, &QPushButton::clicked, this, &FMPass::BUAusst_Click);
    connect(cmdServer, &QPushButton::clicked, this, &FMPass::cmdServer_Click);
    connect(BUSpeich, &QPushButton::clicked, this, &FMPass::BUSpeich_Click);
}

QString FMPass::BPASSWORT() const {
    return txtPasswort->text();
}
void FMPass::setBPASSWORT(const QString& text) {
    txtPasswort->setText(text);
}
QString FMPass::BUSER() const {
    return txtUser->text();
}
void FMPass::setBUSER(const QString& text) {
    txtUser->setText(text);
}

void FMPass::ModalZeigen() {
    Dialoge().ShowModal(this, parentWidget());
}

void FMPass::Verbergen() {
    hide();
}

void FMPass::PasswortMarkieren() {
    FeldMarkieren(txtPasswort, true);
}

void FMPass::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Activation runs once the dialog is on the screen.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) Form_Activate();
    });
}

bool FMPass::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::FocusIn) {
        FeldMarkieren(qobject_cast<QLineEdit*>(o), true);
    } else if (e->type() == QEvent::FocusOut && o == txtUser) {
        txtUser->setText(txtUser->text().toUpper());
    }
    return QDialog::eventFilter(o, e);
}

void FMPass::Form_Activate() {
    txtPasswort->setFocus();
    if (KeinStandardserver) {
        Dialoge().MsgBox(
            QStringLiteral("Es ist kein Standardserver festgelegt!\r\n"
                           "Bitte wählen Sie aus der Liste die Firma in der Sie arbeiten (linke "
                           "Maustaste Click) und bestätigen Sie mit der rechten Maustaste (Eintrag als "
                           "Standard) speichern."),
            DialogService::OkOnly, QStringLiteral("Standardserver?"));
        cmdServer_Click();
    }
}

void FMPass::cmdServer_Click() {
    if (!m_server->Geladen()) m_server->Form_Load();
    Dialoge().ShowModal(m_server, this);
}

void FMPass::reject() {
    // Closing the dialog at start-up must not sign on with whatever the fields hold.
    if (!m_haupt || !m_haupt->isVisible()) {
        BUAusst_Click();
        return;
    }
    QDialog::reject();
}

void FMPass::BUAusst_Click() {
    Zustand().Benutzer.clear();
    ProgrammBeenden();
}

QString FMPass::NeueUeberschrift(const QString& alt, const QString& benutzer) {
    QString s = alt;
    const qsizetype klammer = s.indexOf(QLatin1Char('['));
    if (klammer >= 0) s = s.left(klammer);
    s = s.left(s.lastIndexOf(QLatin1Char(':')) + 1);
    return s + QLatin1Char(' ') + benutzer;
}

void FMPass::BUSpeich_Click() {
    Plattform::setSanduhr(true);
    VerbindungsdatenAusFenster();
    Einstellungen().Set(QStringLiteral("Name"), txtUser->text());
    Einstellungen().Set(QStringLiteral("Passwort"), PasswortCodieren(txtPasswort->text()));
    if (m_haupt && m_haupt->isVisible()) {
        DbEnde(false);
        Trennen();
        user_anmeld();
        // The unsaved mark stays: the window's lists are as they were.
        const bool markiert = m_haupt->windowTitle().endsWith(QStringLiteral(" *"));
        m_haupt->setWindowTitle(NeueUeberschrift(m_haupt->windowTitle(), Zustand().Benutzer) +
                                (markiert ? QStringLiteral(" *") : QString()));
        emit Angemeldet();
    }
    EreignisseVerarbeiten();
    hide();
    Plattform::setSanduhr(false);
}

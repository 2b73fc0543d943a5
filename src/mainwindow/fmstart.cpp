#include "fmstart.h"

#include "frmbefristen.h"
#include "frmgruppekopieren.h"
#include "frmunvereinbar.h"
#include "frmrechteuebernehmen.h"
#include "listenladen.h"

#include "auswertung/frmprotokoll.h"
#include "auswertung/frmuebersicht.h"
#include "auswertung/frmvergleich.h"
#include "auswertung/uebersicht.h"
#include "auswertung/bericht.h"
#include "auswertung/fortschritt.h"
#include "auxwindows/frmabout.h"
#include "auxwindows/frmprogrammverlauf.h"
#include "auxwindows/splash.h"
#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "platform/clock.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "permissions/berechtigungen.h"
#include "permissions/rueckgaengig.h"
#include "platform/plattform.h"
#include "platform/widgets/ctcombo.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "platform/widgets/ctsize.h"
#include "signon/fmpass.h"
#include "util/feld.h"
#include "util/programmverlauf.h"

#include <QCheckBox>
#include <QMenu>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTreeView>
#include <QWindow>

#include <cmath>

namespace {
constexpr int DesignBreite = 10605;
constexpr int DesignHoehe = 6780;
constexpr double ListenSchrift = 8.25;

CtPush* Bildknopf(const QString& name, const QString& bild, const QString& beschreibung) {
    auto* b = new CtPush();
    b->setObjectName(name);
    b->setBild(QStringLiteral(":/bilder/") + bild + QStringLiteral(".svg"), beschreibung);
    return b;
}

CtList* Liste(const QString& name, const QString& beschreibung, const QStringList& spalten,
              const QList<int>& breiten) {
    auto* l = new CtList();
    l->setObjectName(name);
    l->setZugriffsname(beschreibung);
    l->setSpalten(spalten, breiten);
    return l;
}
} // namespace

FMStart::FMStart(FMPass* login, frmProgrammverlauf* verlauf, QWidget* parent)
    : QMainWindow(parent), m_login(login), m_verlauf(verlauf) {
    setObjectName(QStringLiteral("FMStart"));
    setWindowTitle(QStringLiteral("KORVAL Benutzerverwaltung"));
    setWindowIcon(QIcon(QStringLiteral(":/bilder/korval.svg")));
    Aufbauen();
    MenusAufbauen();
    if (m_login) connect(m_login, &FMPass::Angemeldet, this, &FMStart::AnmeldungGewechselt);
    resize(Plattform::Pixel(DesignBreite), Plattform::Pixel(DesignHoehe) + menuBar()->sizeHint().height());
}

FMStart::~FMStart() {
    // The about box and the overview have no owner: they go with the main window.
    delete m_about;
    delete m_uebersicht;
    delete m_protokoll;
    delete m_vergleich;
}

void FMStart::Aufbauen() {
    auto* mitte = new QWidget(this);
    setCentralWidget(mitte);
    for (size_t i = 0; i < ctSize.size(); ++i) {
        ctSize[i] = new CtSize(i == 0 ? 3495 : 3500, DesignHoehe, mitte);
        ctSize[i]->setObjectName(QStringLiteral("ctSize%1").arg(i));
    }
    CtSize* p0 = ctSize[0];
    Label1 = new QLabel(QStringLiteral("Mitarbeiter:"));
    p0->Platzieren(Label1, 240, 120, 2295, 255);
    chkAbt = new QCheckBox(QStringLiteral("Abteilungen anzeigen"));
    chkAbt->setObjectName(QStringLiteral("chkAbt"));
    p0->Platzieren(chkAbt, 240, 600, 2655, 255);
    txtUser = new QLineEdit();
    txtUser->setObjectName(QStringLiteral("txtUser"));
    txtUser->setAccessibleName(QStringLiteral("Personalcode hinzufügen"));
    p0->Platzieren(txtUser, 240, 1080, 2655, 285, CtSize::Breiter);
    const QString beschr[5] = {
        QStringLiteral("Ausgewählte Mitarbeiter in die Gruppe"),
        QStringLiteral("Ausgewählte Mitglieder entfernen"), QStringLiteral("Alle Mitarbeiter in die Gruppe"),
        QStringLiteral("Alle Mitglieder entfernen"), QStringLiteral("Personalcode in die Gruppe")};
    const QString bilder[5] = {QStringLiteral("pfeil-rechts"), QStringLiteral("pfeil-links"),
                               QStringLiteral("balken-pfeil-rechts"), QStringLiteral("pfeil-links-balken"),
                               QStringLiteral("pfeil-rechts")};
    const int oben[5] = {1800, 2280, 3000, 3480, 1080};
    for (int i = 0; i < 5; ++i) {
        cmdMitarbeiterGruppe[static_cast<size_t>(i)] =
            Bildknopf(QStringLiteral("cmdMitarbeiterGruppe%1").arg(i), bilder[i], beschr[i]);
        p0->Platzieren(cmdMitarbeiterGruppe[static_cast<size_t>(i)], 3000, oben[i], 360, 360);
        connect(cmdMitarbeiterGruppe[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { cmdMitarbeiterGruppe_Click(i); });
    }
    ctListMitarbeiter = Liste(QStringLiteral("ctListMitarbeiter"), QStringLiteral("Mitarbeiter"),
                              {QStringLiteral("PCode"), QStringLiteral("Name")}, {50, 100});
    p0->Platzieren(ctListMitarbeiter, 240, 1560, 2655, 5055, CtSize::Beides);
    Label1->setBuddy(ctListMitarbeiter->View());

    CtSize* p1 = ctSize[1];
    Label2 = new QLabel(QStringLiteral("Gruppe:"));
    p1->Platzieren(Label2, 240, 120, 2295, 255);
    cmbGruppe = EingabeKombo(QStringLiteral("cmbGruppe"), QStringLiteral("Gruppe"));
    Label2->setBuddy(cmbGruppe);
    p1->Platzieren(cmbGruppe, 240, 480, 2655, 315, CtSize::Breiter);
    cmdGruppeLoeschen = Bildknopf(QStringLiteral("cmdGruppeLöschen"), QStringLiteral("kreuz"),
                                  QStringLiteral("Gruppe löschen"));
    p1->Platzieren(cmdGruppeLoeschen, 3000, 480, 360, 360);
    ctListGruppe = Liste(QStringLiteral("ctListGruppe"), QStringLiteral("Mitglieder der Gruppe"),
                         {QStringLiteral("PCode"), QStringLiteral("Name"), QStringLiteral("bis")}, {50, 100, 70});
    p1->Platzieren(ctListGruppe, 240, 1560, 2655, 4695, CtSize::Beides);
    const QString gp[2] = {QStringLiteral("Gruppe der Programmstufe geben"),
                           QStringLiteral("Ausgewählte Gruppen der Programmstufe entziehen")};
    for (int i = 0; i < 2; ++i) {
        cmdGruppeProgramm[static_cast<size_t>(i)] =
            Bildknopf(QStringLiteral("cmdGruppeProgramm%1").arg(i),
                      i == 0 ? QStringLiteral("pfeil-rechts") : QStringLiteral("pfeil-links"), gp[i]);
        p1->Platzieren(cmdGruppeProgramm[static_cast<size_t>(i)], 3000, i == 0 ? 1800 : 2280, 360, 360);
        connect(cmdGruppeProgramm[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { cmdGruppeProgramm_Click(i); });
    }
    cmdGruppeSpeichern = Bildknopf(QStringLiteral("cmdGruppeSpeichern"), QStringLiteral("diskette"),
                                   QStringLiteral("Mitglieder der Gruppe speichern"));
    cmdGruppeSpeichern->setBeschriftung(QStringLiteral("Änderung Sichern"),
                                        QStringLiteral("Mitglieder der Gruppe speichern"));
    p1->Platzieren(cmdGruppeSpeichern, 240, 6360, 2655, 375, CtSize::Breiter | CtSize::Unten);

    CtSize* p2 = ctSize[2];
    Label3 = new QLabel(QStringLiteral("Programm:"));
    p2->Platzieren(Label3, 240, 120, 2295, 255);
    cmbProgramm = EingabeKombo(QStringLiteral("cmbProgramm"), QStringLiteral("Programm"));
    Label3->setBuddy(cmbProgramm);
    p2->Platzieren(cmbProgramm, 240, 480, 2775, 315, CtSize::Breiter);
    cmdProgrammLoeschen = Bildknopf(QStringLiteral("cmdProgrammLöschen"), QStringLiteral("kreuz"),
                                    QStringLiteral("Programm löschen"));
    p2->Platzieren(cmdProgrammLoeschen, 3000, 480, 360, 360);
    cmbSubProgramm = EingabeKombo(QStringLiteral("cmbSubProgramm"), QStringLiteral("Unterprogramm"));
    p2->Platzieren(cmbSubProgramm, 240, 840, 2775, 315, CtSize::Breiter);
    cmdSubProgrammLoeschen = Bildknopf(QStringLiteral("cmdSubProgrammLöschen"), QStringLiteral("kreuz"),
                                       QStringLiteral("Unterprogramm löschen"));
    p2->Platzieren(cmdSubProgrammLoeschen, 3000, 840, 360, 360);
    cmbProgrammStufe = EingabeKombo(QStringLiteral("cmbProgrammStufe"), QStringLiteral("Berechtigungsstufe"));
    p2->Platzieren(cmbProgrammStufe, 240, 1200, 2775, 315, CtSize::Breiter);
    cmdProgrammStufeLoeschen = Bildknopf(QStringLiteral("cmdProgrammStufeLöschen"), QStringLiteral("kreuz"),
                                         QStringLiteral("Stufe löschen"));
    p2->Platzieren(cmdProgrammStufeLoeschen, 3000, 1200, 360, 360);
    ctListProgramm = Liste(QStringLiteral("ctListProgramm"), QStringLiteral("Gruppen der Programmstufe"),
                           {QStringLiteral("Gruppe")}, {175});
    p2->Platzieren(ctListProgramm, 240, 1560, 2775, 4695, CtSize::Beides);
    cmdProgrammSpeichern = Bildknopf(QStringLiteral("cmdProgrammSpeichern"), QStringLiteral("diskette"),
                                     QStringLiteral("Gruppen der Programmstufe speichern"));
    cmdProgrammSpeichern->setBeschriftung(QStringLiteral("Änderung Sichern"),
                                          QStringLiteral("Gruppen der Programmstufe speichern"));
    p2->Platzieren(cmdProgrammSpeichern, 240, 6360, 2655, 375, CtSize::Breiter | CtSize::Unten);

    // Keyboard order: each pane top to bottom.
    QList<QWidget*> ordnung = {chkAbt,
                               txtUser,
                               cmdMitarbeiterGruppe[4],
                               ctListMitarbeiter,
                               cmdMitarbeiterGruppe[0],
                               cmdMitarbeiterGruppe[1],
                               cmdMitarbeiterGruppe[2],
                               cmdMitarbeiterGruppe[3],
                               cmbGruppe,
                               cmdGruppeLoeschen,
                               ctListGruppe,
                               cmdGruppeProgramm[0],
                               cmdGruppeProgramm[1],
                               cmdGruppeSpeichern,
                               cmbProgramm,
                               cmdProgrammLoeschen,
                               cmbSubProgramm,
                               cmdSubProgrammLoeschen,
                               cmbProgrammStufe,
                               cmdProgrammStufeLoeschen,
                               ctListProgramm,
                               cmdProgrammSpeichern};
    for (int i = 1; i < ordnung.size(); ++i)
        setTabOrder(ordnung[i - 1], ordnung[i]);

    connect(cmbGruppe, &QComboBox::activated, this, &FMStart::cmbGruppe_Click);
    connect(cmbProgramm, &QComboBox::activated, this, &FMStart::cmbProgramm_Click);
    connect(cmbSubProgramm, &QComboBox::activated, this, &FMStart::cmbSubProgramm_Click);
    connect(cmbProgrammStufe, &QComboBox::activated, this, &FMStart::cmbProgrammStufe_Click);
    connect(chkAbt, &QCheckBox::clicked, this, &FMStart::chkAbt_Click);
    connect(ctListMitarbeiter, &CtList::DblClick, this, &FMStart::ctListMitarbeiter_DblClick);
    connect(ctListGruppe, &CtList::DblClick, this, &FMStart::ctListGruppe_DblClick);
    connect(ctListGruppe, &CtList::RechteMaustaste, this, &FMStart::ctListGruppe_RechteMaustaste);
    connect(cmdGruppeSpeichern, &QPushButton::clicked, this, &FMStart::cmdGruppeSpeichern_Click);
    connect(cmdGruppeLoeschen, &QPushButton::clicked, this, &FMStart::cmdGruppeLoeschen_Click);
    connect(cmdProgrammSpeichern, &QPushButton::clicked, this, &FMStart::cmdProgrammSpeichern_Click);
    connect(cmdProgrammLoeschen, &QPushButton::clicked, this, &FMStart::cmdProgrammLoeschen_Click);
    connect(cmdSubProgrammLoeschen, &QPushButton::clicked, this, &FMStart::cmdSubProgrammLoeschen_Click);
    connect(cmdProgrammStufeLoeschen, &QPushButton::clicked, this, &FMStart::cmdProgrammStufeLoeschen_Click);
}

void FMStart::MenusAufbauen() {
    QMenu* datei = menuBar()->addMenu(QStringLiteral("&Datei"));
    datei->setObjectName(QStringLiteral("Datei"));
    mLogin = datei->addAction(QStringLiteral("&Login"));
    mLogin->setObjectName(QStringLiteral("mLogin"));
    datei->addSeparator();
    Beenden = datei->addAction(QStringLiteral("&Beenden"));
    Beenden->setObjectName(QStringLiteral("Beenden"));
    QMenu* bearbeiten = menuBar()->addMenu(QStringLiteral("&Bearbeiten"));
    bearbeiten->setObjectName(QStringLiteral("Bearbeiten"));
    mRueckgaengig = bearbeiten->addAction(QStringLiteral("&Rückgängig"));
    mRueckgaengig->setObjectName(QStringLiteral("mRueckgaengig"));
    mRueckgaengig->setShortcut(QKeySequence::Undo);
    connect(mRueckgaengig, &QAction::triggered, this, &FMStart::mRueckgaengig_Click);
    // The entry names what it would take back, as the log has it now.
    connect(bearbeiten, &QMenu::aboutToShow, this, &FMStart::RueckgaengigBeschriften);
    // The state shown in the open menu is that moment's: closed, Ctrl+Z asks
    // the server again (and says so when there is nothing to take back).
    connect(bearbeiten, &QMenu::aboutToHide, this, [this] { mRueckgaengig->setEnabled(true); });
    bearbeiten->addSeparator();
    mGruppeKopieren = bearbeiten->addAction(QStringLiteral("Gruppe &kopieren…"));
    mGruppeKopieren->setObjectName(QStringLiteral("mGruppeKopieren"));
    connect(mGruppeKopieren, &QAction::triggered, this, &FMStart::mGruppeKopieren_Click);
    mRechteUebernehmen = bearbeiten->addAction(QStringLiteral("Rechte &übernehmen…"));
    mRechteUebernehmen->setObjectName(QStringLiteral("mRechteUebernehmen"));
    connect(mRechteUebernehmen, &QAction::triggered, this, &FMStart::mRechteUebernehmen_Click);
    mBefristen = bearbeiten->addAction(QStringLiteral("Mitgliedschaft &befristen…"));
    mBefristen->setObjectName(QStringLiteral("mBefristen"));
    mBefristen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(mBefristen, &QAction::triggered, this, &FMStart::mBefristen_Click);
    // The member list's own menu (right mouse button, the menu key).
    mGruppeRechts = new QMenu(this);
    mGruppeRechts->setObjectName(QStringLiteral("mGruppeRechts"));
    mGruppeRechts->addAction(mBefristen);
    QMenu* auswertung = menuBar()->addMenu(QStringLiteral("&Auswertung"));
    auswertung->setObjectName(QStringLiteral("Auswertung"));
    mUebersicht = auswertung->addAction(QStringLiteral("&Berechtigungsübersicht…"));
    mUebersicht->setObjectName(QStringLiteral("mUebersicht"));
    mUebersicht->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    mMatrixExport = auswertung->addAction(QStringLiteral("Berechtigungs&matrix exportieren…"));
    mMatrixExport->setObjectName(QStringLiteral("mMatrixExport"));
    mProtokoll = auswertung->addAction(QStringLiteral("Änderungs&protokoll…"));
    mProtokoll->setObjectName(QStringLiteral("mProtokoll"));
    connect(mProtokoll, &QAction::triggered, this, &FMStart::mProtokoll_Click);
    mUnvereinbar = auswertung->addAction(QStringLiteral("&Unvereinbare Rechte…"));
    mUnvereinbar->setObjectName(QStringLiteral("mUnvereinbar"));
    connect(mUnvereinbar, &QAction::triggered, this, &FMStart::mUnvereinbar_Click);
    mVergleich = auswertung->addAction(QStringLiteral("Mitarbeiter &vergleichen…"));
    mVergleich->setObjectName(QStringLiteral("mVergleich"));
    connect(mVergleich, &QAction::triggered, this, &FMStart::mVergleich_Click);
    connect(mUebersicht, &QAction::triggered, this, &FMStart::mUebersicht_Click);
    connect(mMatrixExport, &QAction::triggered, this, &FMStart::mMatrixExport_Click);
    QMenu* hilfe = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    hilfe->setObjectName(QStringLiteral("Hilfe"));
    HilfeUeber = hilfe->addAction(QStringLiteral("Hilfe &über ..."));
    HilfeUeber->setObjectName(QStringLiteral("HilfeUeber"));
    HilfeUeber->setShortcut(QKeySequence(Qt::Key_F1));
    mProgrammverlauf[0] = hilfe->addAction(QStringLiteral("Programmverlauf anzeigen"));
    mProgrammverlauf[0]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
    mProgrammverlauf[1] = hilfe->addAction(VerlaufMenuText(Plattform::TempVerzeichnis()));
    mProgrammverlauf[1]->setCheckable(true);
    mProgrammverlauf[1]->setChecked(false);
    for (QAction* a : mProgrammverlauf)
        a->setObjectName(QStringLiteral("mProgrammverlauf"));
    connect(mLogin, &QAction::triggered, this, &FMStart::mLogin_Click);
    connect(Beenden, &QAction::triggered, this, &FMStart::Beenden_Click);
    connect(HilfeUeber, &QAction::triggered, this, &FMStart::HilfeUeber_Click);
    connect(mProgrammverlauf[0], &QAction::triggered, this, [this] { mProgrammverlauf_Click(0); });
    // The tick is toggled by the handler, not by Qt, so that both ways agree.
    connect(mProgrammverlauf[1], &QAction::triggered, this, [this] {
        mProgrammverlauf[1]->setChecked(!mProgrammverlauf[1]->isChecked());
        mProgrammverlauf_Click(1);
    });
}

QString FMStart::Ueberschrift(const QString& firma, const QString& filiale, const QString& benutzer) {
    return QStringLiteral("KORVAL Benutzerverwaltung   Firma: ") + firma + QStringLiteral("     Filiale: ") +
           filiale + QStringLiteral("     Benutzer: ") + benutzer;
}

QString FMStart::VerlaufMenuText(const QString& temp) {
    return QStringLiteral("Programmverlauf in ") + temp + Plattform::Trennzeichen() +
           QStringLiteral("Benutzerverwaltung.txt schreiben");
}

int FMStart::NamensspalteBreite(double listeTwips, double twipsProPixel, int codeSpalte) {
    const long breite = std::lround(listeTwips / twipsProPixel - codeSpalte - 25);
    return static_cast<int>(std::max(breite, 20L));
}

void FMStart::Form_Load() {
    Anwendungszustand& z = Zustand();
    z.VerbindungAusKommandozeile = false;
    for (;;) {
        z.Kommandozeile = z.ProgrammKommandozeile;
        z.AnmeldungPerDialog = true;
        const bool angemeldet = user_anmeld();
        // The command line serves the first attempt only: after a wrong password
        // the next one goes through the login dialog, and so does a new sign-on
        // from the menu.
        z.ProgrammKommandozeile.clear();
        if (angemeldet) break;
    }
    if (!Verwalter()) {
        Form_Unload();
        return;
    }
    setWindowTitle(Ueberschrift(z.Firma, z.Filiale, z.Benutzer));
    mProgrammverlauf[1]->setText(VerlaufMenuText(Plattform::TempVerzeichnis()));
    EreignisseVerarbeiten();
    m_splash = new Splash(this);
    m_splash->show();
    EreignisseVerarbeiten();
    m_splash->repaint();
    m_splash->setStatus(QStringLiteral("Überprüfung Berechtigung"));
    txtUser->clear();
    m_splash->setStatus(QStringLiteral("Mitarbeiter laden"));
    EreignisseVerarbeiten();
    MitarbeiterLaden(ctListMitarbeiter, false);
    m_splash->setStatus(QStringLiteral("Gruppen laden"));
    EreignisseVerarbeiten();
    cmbGruppe->setEditText(QString());
    GruppenLaden(cmbGruppe);
    m_splash->setStatus(QStringLiteral("Programme laden"));
    EreignisseVerarbeiten();
    cmbProgramm->setEditText(QString());
    cmbSubProgramm->setEditText(QString());
    cmbProgrammStufe->setEditText(QString());
    ProgrammeLaden(cmbProgramm);
    m_splash->setStatus(QStringLiteral("Fertig!"));
    m_splash->Form_Unload();
    m_splash->deleteLater();
    m_splash = nullptr;
}

void FMStart::ListenSchriften() {
    for (CtList* l : {ctListMitarbeiter, ctListGruppe, ctListProgramm}) {
        l->setFontSize(ListenSchrift);
        l->setHeaderFontSize(ListenSchrift);
        l->Relayout(true);
    }
}

void FMStart::Form_Activate() {
    ListenSchriften();
}

void FMStart::Form_Resize() {
    QWidget* mitte = centralWidget();
    const double drittel = static_cast<float>(mitte->width()) / 3.0f;
    for (size_t i = 0; i < ctSize.size(); ++i)
        ctSize[i]->setGeometry(static_cast<int>(std::lround(drittel * static_cast<double>(i))), 0,
                               static_cast<int>(std::lround(drittel)), mitte->height());
    const double tpp = Plattform::TwipsProPixel();
    ctListMitarbeiter->setColumnWidth(
        2, NamensspalteBreite(ctListMitarbeiter->width() * tpp, tpp, ctListMitarbeiter->ColumnWidth(1)));
    // The member list's name column gives way to the code and the end date.
    ctListGruppe->setColumnWidth(2, NamensspalteBreite(ctListGruppe->width() * tpp, tpp,
                                                       ctListGruppe->ColumnWidth(1) + ctListGruppe->ColumnWidth(3)));
    ListenSchriften();
}

void FMStart::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    Form_Resize();
}

void FMStart::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) Form_Activate();
}

void FMStart::closeEvent(QCloseEvent* e) {
    if ((GruppeGeaendert() || StufeGeaendert()) &&
        Dialoge().MsgBox(QStringLiteral("Ungesicherte Änderungen verwerfen?"),
                         DialogService::YesNo | DialogService::Question,
                         QStringLiteral("KORVAL Benutzerverwaltung")) != DialogService::Yes) {
        e->ignore();
        return;
    }
    e->accept();
    Form_Unload();
}

void FMStart::Form_Unload() {
    Trennen();
    ProgrammBeenden();
}

void FMStart::Beenden_Click() {
    close();
}

void FMStart::Besitzer(QWidget* fenster) {
    // Stays on top of the main window without belonging to it.
    winId();
    fenster->winId();
    if (fenster->windowHandle() && windowHandle())
        fenster->windowHandle()->setTransientParent(windowHandle());
}

void FMStart::mLogin_Click() {
    m_login->setHauptfenster(this);
    m_login->setModal(false);
    Besitzer(m_login);
    m_login->show();
}

void FMStart::HilfeUeber_Click() {
    if (!m_about) m_about = new frmAbout(nullptr);
    m_about->show();
}

void FMStart::mProgrammverlauf_Click(int index) {
    if (index == 0) {
        Besitzer(m_verlauf);
        m_verlauf->show();
        m_verlauf->raise();
    } else if (index == 1) {
        mProgrammverlauf[1]->setChecked(!mProgrammverlauf[1]->isChecked());
        Verlauf::setDateiProtokoll(mProgrammverlauf[1]->isChecked());
    }
}

void FMStart::mUebersicht_Click() {
    if (!DarfLesen()) return;
    if (!m_uebersicht) {
        m_uebersicht = new frmUebersicht(nullptr);
        connect(m_uebersicht, &frmUebersicht::MitarbeiterZeigen, this, &FMStart::MitarbeiterZeigen);
        connect(m_uebersicht, &frmUebersicht::GruppeZeigen, this, &FMStart::GruppeZeigen);
        connect(m_uebersicht, &frmUebersicht::StufeZeigen, this, &FMStart::StufeZeigen);
        Besitzer(m_uebersicht);
    }
    m_uebersicht->Form_Load(chkAbt->isChecked());
    m_uebersicht->show();
    m_uebersicht->raise();
    m_uebersicht->activateWindow();
}

void FMStart::AnmeldungGewechselt() {
    if (Verwalter()) return;
    for (QWidget* fenster : std::initializer_list<QWidget*>{m_uebersicht, m_protokoll, m_vergleich})
        if (fenster) fenster->hide();
}

void FMStart::mProtokoll_Click() {
    if (!DarfLesen()) return;
    if (!m_protokoll) {
        m_protokoll = new frmProtokoll(nullptr);
        connect(m_protokoll, &frmProtokoll::Zurueckgenommen, this, &FMStart::Zurueckgenommen);
        Besitzer(m_protokoll);
    }
    m_protokoll->show();
    m_protokoll->raise();
    m_protokoll->activateWindow();
    m_protokoll->cmdAnzeigen_Click();
}

void FMStart::mVergleich_Click() {
    if (!DarfLesen()) return;
    if (!m_vergleich) {
        m_vergleich = new frmVergleich(nullptr);
        connect(m_vergleich, &frmVergleich::GruppeZeigen, this, &FMStart::GruppeZeigen);
        connect(m_vergleich, &frmVergleich::StufeZeigen, this, &FMStart::StufeZeigen);
        Besitzer(m_vergleich);
        m_vergleich->Form_Load(chkAbt->isChecked());
    }
    // Starts with the employee chosen here.
    const QString code = GewaehlterMitarbeiter();
    if (!code.isEmpty()) m_vergleich->ctListA->Auswaehlen(code);
    m_vergleich->show();
    m_vergleich->raise();
    m_vergleich->activateWindow();
}

void FMStart::mGruppeKopieren_Click() {
    if (Pflege::BefehlLaeuft()) return;
    QStringList gruppen;
    for (int i = 0; i < cmbGruppe->count(); ++i)
        gruppen.append(cmbGruppe->itemText(i));
    if (gruppen.isEmpty()) {
        Dialoge().MsgBox(QStringLiteral("Es gibt keine Gruppe, die kopiert werden kann."), DialogService::Information,
                         QStringLiteral("Gruppe kopieren"));
        return;
    }
    frmGruppeKopieren dialog(gruppen, cmbGruppe->currentText(), this);
    Dialoge().ShowModal(&dialog, this);
    if (dialog.NeueGruppe().isEmpty()) return;
    GruppenLaden(cmbGruppe);
    // The copy is shown unless that would drop unsaved edits the user keeps.
    if (Verwerfen(GruppeGeaendert(), QStringLiteral("der Gruppe ") + cmbGruppe->currentText()))
        GruppeZeigen(dialog.NeueGruppe());
}

bool FMStart::Verwerfen(bool geaendert, const QString& wovon) {
    if (!geaendert) return true;
    return Dialoge().MsgBox(QStringLiteral("Ungesicherte Änderungen %1 verwerfen?").arg(wovon),
                            DialogService::YesNo | DialogService::Question,
                            QStringLiteral("KORVAL Benutzerverwaltung")) == DialogService::Yes;
}

void FMStart::mUnvereinbar_Click() {
    if (Pflege::BefehlLaeuft() || !DarfLesen()) return;
    frmUnvereinbar dialog(this);
    Dialoge().ShowModal(&dialog, this);
}

void FMStart::ctListGruppe_RechteMaustaste(const QPoint& wo, int zeile) {
    // The menu belongs to the row it was opened on.
    if (zeile < 0) return;
    if (!ctListGruppe->Selected(zeile)) ctListGruppe->Auswaehlen(zeile);
    mGruppeRechts->popup(wo);
}

void FMStart::mBefristen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString titel = QStringLiteral("Mitgliedschaft befristen");
    int zeile = -1, gewaehlt = 0;
    for (int i = 0; i < ctListGruppe->ListCount(); ++i)
        if (ctListGruppe->Selected(i) && gewaehlt++ == 0) zeile = i;
    if (gewaehlt != 1) {
        Dialoge().MsgBox(gewaehlt == 0 ? QStringLiteral("Bitte zuerst ein Mitglied in der Liste der Gruppe auswählen.")
                                       : QStringLiteral("Bitte genau ein Mitglied der Gruppe auswählen."),
                         DialogService::Information, titel);
        return;
    }
    // A date belongs to a stored membership: the list must be the server's.
    const QString gruppe = cmbGruppe->currentText();
    if (GruppeGeaendert() || !Geoeffnet(m_gruppeGeladen, gruppe) || !m_gruppeGeladen.vorhanden) {
        Dialoge().MsgBox(QStringLiteral("Die Mitglieder der Gruppe \"%1\" sind nicht gespeichert.\r\nBitte zuerst "
                                        "die Änderung sichern, dann befristen.")
                             .arg(gruppe),
                         DialogService::Exclamation, titel);
        return;
    }
    const QString zeilentext = ctListGruppe->List(zeile);
    const QString code = Feld(zeilentext, QStringLiteral(";"), 1);
    const QDate bis = QDate::fromString(Feld(zeilentext, QStringLiteral(";"), 3), QStringLiteral("dd.MM.yyyy"));
    // A date being changed keeps its reason unless the user changes it.
    frmBefristen dialog(gruppe, code, Feld(zeilentext, QStringLiteral(";"), 2), bis, Uhr().Now().date(), this,
                        bis.isValid() ? Pflege::BefristungsGrund(gruppe, code) : QString());
    Dialoge().ShowModal(&dialog, this);
    if (!dialog.Gespeichert()) return;
    // Shown as the server has it now, the member still chosen.
    cmbGruppe_Click();
    for (int i = 0; i < ctListGruppe->ListCount(); ++i)
        if (Feld(ctListGruppe->List(i), QStringLiteral(";"), 1) == code) {
            ctListGruppe->Auswaehlen(i);
            break;
        }
}

void FMStart::mRechteUebernehmen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    frmRechteUebernehmen dialog(GewaehlterMitarbeiter(), chkAbt->isChecked(), this);
    Dialoge().ShowModal(&dialog, this);
    const QString gruppe = cmbGruppe->currentText();
    if (!dialog.GeaenderteGruppen().contains(gruppe)) return;
    // A group shown here that gained a member is shown as the server has it.
    if (!GruppeGeaendert()) {
        cmbGruppe_Click();
        return;
    }
    // Unsaved edits stay; the members taken over are this window's own change:
    // they count as loaded and join the list, so the next save stores both.
    if (!m_gruppeGeladen.gueltig || m_gruppeGeladen.id != gruppe) return;
    for (const auto& [g, neu] : dialog.Aufnahmen()) {
        if (g != gruppe) continue;
        m_gruppeGeladen.liste.append(neu);
        QString zeile = neu + QLatin1Char(';');
        for (int i = 0; i < ctListMitarbeiter->ListCount(); ++i)
            if (ctListMitarbeiter->Model()->Spalte(ctListMitarbeiter->List(i), 0) == neu) {
                zeile = ctListMitarbeiter->List(i);
                break;
            }
        ctListGruppe->AddItem(zeile);
    }
    AenderungenZeigen();
}

QString FMStart::GewaehlterMitarbeiter() const {
    for (int i = 0; i < ctListMitarbeiter->ListCount(); ++i)
        if (ctListMitarbeiter->Selected(i)) return ctListMitarbeiter->Model()->Spalte(ctListMitarbeiter->List(i), 0);
    return {};
}

void FMStart::mMatrixExport_Click() {
    if (!DarfLesen()) return;
    const QString pfad = Berichte::Speicherort(QStringLiteral("Berechtigungsmatrix exportieren"),
                                               QStringLiteral("Berechtigungsmatrix.csv"),
                                               QStringLiteral("CSV-Dateien (*.csv)"));
    if (pfad.isEmpty()) return;
    QString fehler;
    bool ok = false;
    try {
        Fortschritt fortschritt(this);
        ok = Uebersicht::MatrixSchreiben(pfad, {}, fehler, &fortschritt);
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("fmstart.mMatrixExport_Click"));
        return;
    } catch (const Fortschritt::Abgebrochen&) {
        Berichte::Abgebrochen(pfad);
        return;
    }
    Berichte::Melden(ok, fehler, pfad);
}

void FMStart::MitarbeiterZeigen(const QString& code) {
    for (int i = 0; i < ctListMitarbeiter->ListCount(); ++i)
        if (ctListMitarbeiter->Model()->Spalte(ctListMitarbeiter->List(i), 0) == code) {
            ctListMitarbeiter->Auswaehlen(i);
            ctListMitarbeiter->View()->scrollTo(ctListMitarbeiter->Model()->index(i, 0));
            ctListMitarbeiter->setFocus();
            break;
        }
    activateWindow();
    raise();
}

void FMStart::RueckgaengigBeschriften() {
    const auto e = Pflege::LetzteEigeneAenderung();
    mRueckgaengig->setText(e ? QStringLiteral("&Rückgängig: %1 %2").arg(e->befehl, e->objekt)
                             : QStringLiteral("&Rückgängig"));
    mRueckgaengig->setEnabled(e.has_value());
}

void FMStart::mRueckgaengig_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const auto e = Pflege::LetzteEigeneAenderung();
    if (!e) {
        Dialoge().MsgBox(QStringLiteral("In dieser Sitzung gibt es keine eigene Änderung, die rückgängig gemacht "
                                        "werden kann."),
                         DialogService::Information, QStringLiteral("Rückgängig"));
        return;
    }
    QStringList objekte;
    if (Pflege::RueckgaengigMachen(e->nr, &objekte)) Zurueckgenommen(objekte);
}

void FMStart::Zurueckgenommen(const QStringList& genannt) {
    // A member's end date is shown with its group.
    QStringList objekte;
    for (const QString& o : genannt)
        objekte.append(o.startsWith(QLatin1String("Befristung "))
                           ? QStringLiteral("Gruppe ") + o.mid(11).section(QStringLiteral("||"), 0, 0)
                           : o);
    // The lists as the server has them now, and the record the undo was about chosen.
    GruppenLaden(cmbGruppe);
    ProgrammeLaden(cmbProgramm);
    const QString erstes = objekte.value(0);
    auto stufeJetzt = [this] {
        return QStringLiteral("Stufe ") + Berechtigung::ProgrammId(cmbProgramm->currentText(),
                                                                   cmbSubProgramm->currentText(),
                                                                   cmbProgrammStufe->currentText());
    };
    // A pane with unsaved edits is replaced only when the user lets them go.
    const bool gruppeFrei =
        !(erstes.startsWith(QLatin1String("Gruppe ")) || objekte.contains(QStringLiteral("Gruppe ") + cmbGruppe->currentText())) ||
        Verwerfen(GruppeGeaendert(), QStringLiteral("der Gruppe ") + cmbGruppe->currentText());
    const bool stufeFrei = !(erstes.startsWith(QLatin1String("Stufe ")) || objekte.contains(stufeJetzt())) ||
                           Verwerfen(StufeGeaendert(), QStringLiteral("der Programmstufe"));
    if (gruppeFrei && erstes.startsWith(QLatin1String("Gruppe "))) {
        GruppeZeigen(erstes.mid(7));
    } else if (stufeFrei && erstes.startsWith(QLatin1String("Stufe "))) {
        const QStringList t = erstes.mid(6).split(QStringLiteral("||"));
        if (t.size() == 3) StufeZeigen(t[0], t[1], t[2]);
    }
    // A list shown that the undo touched is shown anew.
    if (gruppeFrei && objekte.contains(QStringLiteral("Gruppe ") + cmbGruppe->currentText())) cmbGruppe_Click();
    if (stufeFrei && objekte.contains(stufeJetzt())) cmbProgrammStufe_Click();
}

void FMStart::GruppeZeigen(const QString& gruppe) {
    cmbGruppe->setEditText(gruppe);
    cmbGruppe_Click();
    activateWindow();
    raise();
}

void FMStart::StufeZeigen(const QString& programm, const QString& subprogramm, const QString& stufe) {
    cmbProgramm->setEditText(programm);
    cmbProgramm_Click();
    cmbSubProgramm->setEditText(subprogramm);
    cmbProgrammStufe->setEditText(stufe);
    cmbSubProgramm_Click();
    activateWindow();
    raise();
}

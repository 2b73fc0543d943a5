// What a screen reader and voice control find: every window's accessibility
// tree is walked, and every control a user can work must have a name.

#include "testumgebung.h"

#include "auxwindows/frmabout.h"
#include "auxwindows/frmprogrammverlauf.h"
#include "auxwindows/splash.h"
#include "database/zustand.h"
#include "auswertung/frmprotokoll.h"
#include "auswertung/frmuebersicht.h"
#include "mainwindow/fmstart.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>
#include <QtTest>

namespace {
bool Bedienbar(QAccessible::Role r) {
    switch (r) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::PageTab:
    case QAccessible::MenuItem:
    case QAccessible::Link:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return false;
    }
}

// Every visible control a user can work, with the path it was found on.
void Sammeln(QAccessibleInterface* i, const QString& pfad, QList<QPair<QString, QAccessibleInterface*>>& alle) {
    if (!i || i->state().invisible) return;
    alle.append({pfad, i});
    const QAccessible::Role r = i->role();
    // Rows and cells of a list belong to the list.
    if (r == QAccessible::List || r == QAccessible::Tree || r == QAccessible::Table) return;
    for (int k = 0; k < i->childCount(); ++k) {
        QAccessibleInterface* c = i->child(k);
        if (c) Sammeln(c, pfad + QLatin1Char('/') + c->text(QAccessible::Name), alle);
    }
}

QStringList Unbenannt(QWidget* fenster, int& bedienbar) {
    QList<QPair<QString, QAccessibleInterface*>> alle;
    Sammeln(QAccessible::queryAccessibleInterface(fenster), fenster->objectName(), alle);
    QStringList fehlt;
    bedienbar = 0;
    for (const auto& [pfad, i] : alle) {
        if (!Bedienbar(i->role())) continue;
        ++bedienbar;
        if (i->text(QAccessible::Name).trimmed().isEmpty())
            fehlt.append(pfad + QStringLiteral(" (Rolle %1)").arg(int(i->role())));
    }
    return fehlt;
}

QAccessibleInterface* Zugang(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w);
}

bool HatBeschriftung(QWidget* w) {
    return !Zugang(w)->relations(QAccessible::Label).isEmpty();
}

// Lists report no relations of their own in Qt; the label names its list.
bool BeschriftetDurch(QWidget* liste, QLabel* label) {
    for (const auto& [i, art] : Zugang(label)->relations(QAccessible::Labelled))
        if (i->object() == liste) return true;
    return false;
}
} // namespace

class TestZugang : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void jedesFensterHatNurBenannteBedienelemente();
    void jedeKomboBietetIhreEintraege();
    void hauptfensterNamenUndBeschriftungen();
    void dialogeUndListen();
    void zweiZustandsKnopf();
    void verlaufIstEinFenster();

  private:
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestZugang::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
    QVERIFY(Starten(*u, *w));
}

void TestZugang::cleanup() {
    Abbauen(u, w);
}

void TestZugang::jedesFensterHatNurBenannteBedienelemente() {
    u->server->Form_Load();
    frmAbout about;
    Splash splash;
    w->mUebersicht->trigger();
    w->mProtokoll->trigger();
    QList<QWidget*> fenster = {w.get(), u->login.get(), u->server.get(), u->verlauf.get(), &about, &splash,
                               w->ProtokollFenster()};
    // Each page of the overview in turn: only the page in front is in the tree.
    for (int seite = 0; seite < 3; ++seite)
        fenster.append(w->UebersichtFenster());
    int seite = 0;
    for (QWidget* f : fenster) {
        if (f == w->UebersichtFenster()) w->UebersichtFenster()->tabUebersicht->setCurrentIndex(seite++);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f));
        int bedienbar = 0;
        const QStringList fehlt = Unbenannt(f, bedienbar);
        QVERIFY2(fehlt.isEmpty(), qPrintable(fehlt.join(QStringLiteral(", "))));
        // The walk reached the controls: the main window alone has more than twenty.
        if (f == w.get()) QVERIFY2(bedienbar > 20, qPrintable(QString::number(bedienbar)));
        const QAccessible::Role r = Zugang(f)->role();
        QVERIFY2(r == QAccessible::Window || r == QAccessible::Dialog, qPrintable(f->objectName()));
    }
}

// A combo box keeps its name, gives its text as the value and offers its
// entries as a list inside it (then the edit field), in every window.
void TestZugang::jedeKomboBietetIhreEintraege() {
    QTest::keyClick(w->cmbProgramm, Qt::Key_Down); // its sub-programs fill the next box
    w->mUebersicht->trigger();
    frmUebersicht* uebersicht = w->UebersichtFenster();
    QTest::keyClick(uebersicht->cmbProgramm, Qt::Key_Down);
    QTest::keyClick(uebersicht->cmbProgramm->lineEdit(), Qt::Key_Return);
    int mitEintraegen = 0;
    for (QWidget* f :
         QList<QWidget*>{w.get(), u->login.get(), u->server.get(), uebersicht, w->ProtokollFenster()}) {
        for (QComboBox* box : f ? f->findChildren<QComboBox*>() : QList<QComboBox*>{}) {
            QAccessibleInterface* i = Zugang(box);
            const QString wo = f->objectName() + QLatin1Char('/') + box->objectName();
            QCOMPARE(i->role(), QAccessible::ComboBox);
            QVERIFY2(!i->text(QAccessible::Name).isEmpty(), qPrintable(wo));
            QCOMPARE(i->text(QAccessible::Value), box->currentText());
            QCOMPARE(i->childCount(), box->isEditable() ? 2 : 1);
            QAccessibleInterface* liste = i->child(0);
            QVERIFY2(liste && liste->role() == QAccessible::List, qPrintable(wo));
            QCOMPARE(i->indexOfChild(liste), 0);
            QStringList eintraege;
            for (int k = 0; k < liste->childCount(); ++k)
                eintraege.append(liste->child(k)->text(QAccessible::Name));
            QCOMPARE(eintraege, KomboEintraege(box));
            mitEintraegen += !eintraege.isEmpty();
            if (box->isEditable()) {
                QCOMPARE(i->child(1)->object(), box->lineEdit());
                QCOMPARE(i->indexOfChild(i->child(1)), 1);
            }
        }
    }
    // Group, program and sub-program of the main window and the overview's two.
    QVERIFY2(mitEintraegen >= 5, qPrintable(QString::number(mitEintraegen)));

    // While the list is open, the walk through the window finds it inside the box.
    uebersicht->close();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->cmbGruppe->showPopup();
    QList<QPair<QString, QAccessibleInterface*>> alle;
    Sammeln(Zugang(w.get()), {}, alle);
    bool gefunden = false;
    for (const auto& [pfad, i] : alle)
        gefunden =
            gefunden || (i->object() == w->cmbGruppe->view() && pfad.endsWith(QStringLiteral("/Gruppe/")));
    QVERIFY(gefunden);
    w->cmbGruppe->hidePopup();

    // The value follows what is typed into the focused box.
    w->cmbGruppe->setFocus();
    QVERIFY(w->cmbGruppe->hasFocus());
    w->cmbGruppe->lineEdit()->clear();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Neu"));
    QCOMPARE(Zugang(w->cmbGruppe)->text(QAccessible::Value), QStringLiteral("Neu"));
}

void TestZugang::hauptfensterNamenUndBeschriftungen() {
    // A combo box keeps its name after a choice, and so does its edit field.
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Lager"));
    QCOMPARE(Zugang(w->cmbGruppe)->text(QAccessible::Name), QStringLiteral("Gruppe"));
    QCOMPARE(Zugang(w->cmbGruppe->lineEdit())->text(QAccessible::Name), QStringLiteral("Gruppe"));
    QCOMPARE(Zugang(w->cmbSubProgramm->lineEdit())->text(QAccessible::Name), QStringLiteral("Unterprogramm"));
    QCOMPARE(Zugang(w->cmbProgrammStufe->lineEdit())->text(QAccessible::Name),
             QStringLiteral("Berechtigungsstufe"));
    // Labels name their fields.
    QVERIFY(HatBeschriftung(w->cmbGruppe));
    QVERIFY(HatBeschriftung(w->cmbProgramm));
    QVERIFY(BeschriftetDurch(w->ctListMitarbeiter->View(), w->Label1));
    // The five lists speak their names.
    QCOMPARE(Zugang(w->ctListMitarbeiter->View())->text(QAccessible::Name), QStringLiteral("Mitarbeiter"));
    QCOMPARE(Zugang(w->ctListGruppe->View())->text(QAccessible::Name), QStringLiteral("Mitglieder der Gruppe"));
    QCOMPARE(Zugang(w->ctListProgramm->View())->text(QAccessible::Name),
             QStringLiteral("Gruppen der Programmstufe"));
    // What voice control hears is what the button shows.
    for (CtPush* b : {w->cmdGruppeSpeichern, w->cmdProgrammSpeichern}) {
        QVERIFY(Zugang(b)->text(QAccessible::Name).startsWith(b->text()));
        QVERIFY(!Zugang(b)->text(QAccessible::Description).isEmpty());
    }
}

void TestZugang::dialogeUndListen() {
    QCOMPARE(Zugang(u->server->ctList->View())->text(QAccessible::Name), QStringLiteral("Mögliche Server"));
    QVERIFY(BeschriftetDurch(u->server->ctList->View(), u->server->ctList->findChild<QLabel*>()));
    QCOMPARE(Zugang(u->verlauf->Verlauf->View())->text(QAccessible::Name), QStringLiteral("Programmverlauf"));
    for (QLineEdit* e : {u->server->BSERVERIP, u->server->BPORT, u->server->BFIRMA, u->server->BFIL,
                         u->server->BNAMESPACE, u->server->BWJ})
        QVERIFY2(HatBeschriftung(e), qPrintable(e->objectName()));
    QVERIFY(HatBeschriftung(u->login->txtPasswort));
    // The field kept for older programs is not on the screen and not announced.
    u->login->show();
    QVERIFY(QTest::qWaitForWindowExposed(u->login.get()));
    QVERIFY(Zugang(u->login->txtUser)->state().invisible);
    // "Eintrag als Standard" opens from the keyboard and is announced.
    Zustand().ConnStrg = u->db->ConnStrg();
    u->server->show();
    QVERIFY(QTest::qWaitForWindowExposed(u->server.get()));
    QTreeView* v = u->server->ctList->View();
    v->setFocus();
    QTest::keyClick(v, Qt::Key_Down);
    QTest::keyClick(v, Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(u->server->HRechts->isVisible());
    QAccessibleInterface* menu = Zugang(u->server->HRechts);
    QCOMPARE(menu->childCount(), 1);
    QCOMPARE(menu->child(0)->role(), QAccessible::MenuItem);
    QCOMPARE(menu->child(0)->text(QAccessible::Name), QStringLiteral("Eintrag als Standard"));
    u->server->HRechts->hide();
}

void TestZugang::zweiZustandsKnopf() {
    QAccessibleInterface* i = Zugang(u->server->BUEdit);
    QCOMPARE(i->role(), QAccessible::Button);
    QCOMPARE(i->text(QAccessible::Name), QStringLiteral("Ändern"));
    QVERIFY(i->state().checkable);
    QVERIFY(!i->state().checked);
    // Pressing it through the accessibility action asks as a click does.
    u->dialoge.antworten.push_back(DialogService::Yes);
    i->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text, QStringLiteral("Änderungen erlauben?"));
    QVERIFY(i->state().checked);
    QVERIFY(u->server->BFIRMA->isEnabled());
}

void TestZugang::verlaufIstEinFenster() {
    QCOMPARE(Zugang(u->verlauf.get())->role(), QAccessible::Window);
    QCOMPARE(Zugang(u->verlauf.get())->text(QAccessible::Name), QStringLiteral("Programmverlauf"));
}

QTEST_MAIN(TestZugang)
#include "tst_zugang.moc"

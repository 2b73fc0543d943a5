#include "fmserver.h"

#include "database/dbzugriff.h"
#include "database/fenster.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "platform/dialogservice.h"
#include "platform/plattform.h"
#include "platform/settingsstore.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "util/feld.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QTreeView>

namespace {
QString Label(const char16_t* t) {
    return QString::fromUtf16(t);
}
constexpr int Hoehe = 3135;
constexpr int Hinweishoehe = 780;
} // namespace

FMServer::FMServer(QWidget* parent) : QDialog(parent), m_lock(new QTimer(this)) {
    setWindowTitle(QStringLiteral("KORVAL Server"));
    setObjectName(QStringLiteral("FMServer"));
    // A little wider than the design, so that "Namespace:" fits left of its field.
    constexpr int Versatz = 240;
    // Port and year fields are wider by what four digits need beside the frame.
    constexpr int Ziffern = 150;
    setFixedSize(Plattform::Pixel(3735 + Versatz + Ziffern), Plattform::Pixel(Hoehe));

    ctList = new CtList(this);
    ctList->setObjectName(QStringLiteral("ctList"));
    ctList->setTitel(QStringLiteral("Mögliche Server"));
    ctList->setSpalten({QStringLiteral("Nr"), QStringLiteral("Name")}, {0, 200});
    ctList->View()->setColumnHidden(0, true);
    ctList->View()->setSelectionMode(QAbstractItemView::SingleSelection);
    ctList->setZugriffsname(QStringLiteral("Mögliche Server"));
    ctList->setGeometry(0, 0, Plattform::Pixel(3735 + Versatz + Ziffern), Plattform::Pixel(1455));

    auto feld = [this, Versatz](const char16_t* label, const QString& name, const QString& vorgabe, int links,
                                int oben, int breite, int labelBreite) {
        auto* l = new QLabel(Label(label), this);
        auto* e = new QLineEdit(vorgabe, this);
        e->setObjectName(name);
        l->setBuddy(e);
        e->setAccessibleName(Label(label).chopped(1));
        links += Versatz;
        l->setGeometry(Plattform::Pixel(links - labelBreite - 60), Plattform::Pixel(oben),
                       Plattform::Pixel(labelBreite), Plattform::Pixel(285));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setGeometry(Plattform::Pixel(links), Plattform::Pixel(oben), Plattform::Pixel(breite),
                       Plattform::Pixel(285));
        return e;
    };
    BSERVERIP = feld(u"ServerIP:", QStringLiteral("BSERVERIP"), StandardServer(), 1080, 1560, 1455, 1200);
    BPORT = feld(u"Port:", QStringLiteral("BPORT"), QStringLiteral("1973"), 3120, 1560, 495 + Ziffern, 480);
    BFIRMA = feld(u"Firma:", QStringLiteral("BFIRMA"), QStringLiteral("1"), 1080, 1920, 375, 1200);
    BFIL = feld(u"Filiale:", QStringLiteral("BFIL"), QStringLiteral("0"), 2160, 1920, 375, 600);
    BWJ = feld(u"WJ:", QStringLiteral("BWJ"), QStringLiteral("0"), 3120, 1920, 495 + Ziffern, 480);
    BNAMESPACE =
        feld(u"Namespace:", QStringLiteral("BNAMESPACE"), QStringLiteral("KORVAL"), 1080, 2280, 1455, 1200);

    BUEdit = new CtPush(QStringLiteral("Ändern"), this);
    BUEdit->setObjectName(QStringLiteral("BUEdit"));
    BUEdit->setZweiZustaende(true);
    BUEdit->setValue(true);
    BUEdit->setGeometry(Plattform::Pixel(120 + Versatz), Plattform::Pixel(2640), Plattform::Pixel(1695),
                        Plattform::Pixel(375));
    BUZurueck = new CtPush(QStringLiteral("Zurück"), this);
    BUZurueck->setObjectName(QStringLiteral("BUZurück"));
    BUZurueck->setGeometry(Plattform::Pixel(1920 + Versatz), Plattform::Pixel(2640), Plattform::Pixel(1695),
                           Plattform::Pixel(375));

    setTabOrder(BUEdit, BSERVERIP);
    setTabOrder(BSERVERIP, BPORT);
    setTabOrder(BPORT, BFIRMA);
    setTabOrder(BFIRMA, BFIL);
    setTabOrder(BFIL, BNAMESPACE);
    setTabOrder(BNAMESPACE, BUZurueck);
    setTabOrder(BUZurueck, BWJ);
    FelderFreigeben(false);
    BWJ->setEnabled(false);

    // Shown only in a session started from the command line.
    lblBefehlszeile = new QLabel(
        QStringLiteral("Diese Sitzung behält die Verbindung ihrer Befehlszeile; Änderungen betreffen nur die "
                       "Einträge."),
        this);
    lblBefehlszeile->setObjectName(QStringLiteral("lblBefehlszeile"));
    lblBefehlszeile->setWordWrap(true);
    lblBefehlszeile->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblBefehlszeile->setGeometry(Plattform::Pixel(120), Plattform::Pixel(Hoehe - 30),
                                 Plattform::Pixel(3735 + Versatz + Ziffern - 240),
                                 Plattform::Pixel(Hinweishoehe - 60));
    lblBefehlszeile->hide();

    HRechts = new QMenu(this);
    HRechts->setObjectName(QStringLiteral("HRechts"));
    HRechts->setAccessibleName(QStringLiteral("Eintrag"));
    QAction* standard = HRechts->addAction(QStringLiteral("Eintrag als Standard"));
    connect(standard, &QAction::triggered, this, [this] { mRechts_Click(0); });

    m_lock->setInterval(60000);
    connect(m_lock, &QTimer::timeout, this, &FMServer::Lock_Timer);
    connect(ctList, &CtList::Click, this, &FMServer::ctList_Click);
    connect(ctList, &CtList::RechteMaustaste, this, &FMServer::ctList_RechteMaustaste);
    connect(BUEdit, &QPushButton::clicked, this, &FMServer::BUEdit_Click);
    connect(BUZurueck, &QPushButton::clicked, this, &FMServer::BUZurueck_Click);
}

QLineEdit* FMServer::FeldWidget(Feldname f) const {
    switch (f) {
    case FeldFirma:
        return BFIRMA;
    case FeldFiliale:
        return BFIL;
    case FeldServer:
        return BSERVERIP;
    case FeldPort:
        return BPORT;
    case FeldNamespace:
        return BNAMESPACE;
    case FeldWJ:
        return BWJ;
    }
    return nullptr;
}

QString FMServer::Feld(Feldname f) const {
    return FeldWidget(f)->text();
}
void FMServer::setFeld(Feldname f, const QString& text) {
    FeldWidget(f)->setText(text);
}

void FMServer::showEvent(QShowEvent* e) {
    // The list loads when the window is first shown, with connection data
    // settled; a load that failed just before this display was reported once.
    if (!m_geladen && !m_ladenVersucht) Form_Load();
    HinweisZeigen();
    QDialog::showEvent(e);
}

void FMServer::hideEvent(QHideEvent* e) {
    // The next display tries again.
    m_ladenVersucht = false;
    QDialog::hideEvent(e);
}

void FMServer::HinweisZeigen() {
    const bool zeigen = Zustand().VerbindungAusKommandozeile;
    lblBefehlszeile->setVisible(zeigen);
    setFixedHeight(Plattform::Pixel(Hoehe + (zeigen ? Hinweishoehe : 0)));
}

void FMServer::ModalZeigen() {
    if (!m_geladen) Form_Load();
    Dialoge().ShowModal(this, parentWidget());
}

void FMServer::Verbergen() {
    hide();
}

void FMServer::FelderFreigeben(bool an) {
    for (QLineEdit* e : {BPORT, BSERVERIP, BFIRMA, BFIL, BNAMESPACE}) {
        e->setEnabled(an);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, palette().color(an ? QPalette::Base : QPalette::Button));
        e->setPalette(p);
    }
}

void FMServer::Form_Load() {
    EintragNr = 255;
    ctList->Clear();
    // Never start the connect rule from inside itself; the list then loads at
    // its next display, once a connection stands.
    if (VerbindungsaufbauLaeuft()) return;
    HinweisZeigen();
    m_geladen = true;
    m_ladenVersucht = true;
    bool ersteZeile = false;
    try {
        DbBeginn(false);
        CacheAbfragePtr q =
            Zustand().CacheFactory->Abfrage(QStringLiteral("KV.KassaSW"), QStringLiteral("ConnStrg"));
        q->Ausfuehren({QString()});
        CtList::Aktualisierung a(*ctList);
        while (q->Naechste()) {
            ersteZeile = true;
            ctList->AddItem(q->Spalte(1) + QLatin1Char(';') + q->Spalte(2));
        }
        ObjektSchliessen(q);
        DbEnde(false);
    } catch (const CacheFehler& e) {
        m_geladen = false;
        CacheFehlermeldung(
            e, QStringLiteral("FMServer.Form_Load ") +
                   (ersteZeile ? QStringLiteral("Liste lesen") : QStringLiteral("Lade Serverliste")));
    }
}

void FMServer::ctList_RechteMaustaste(const QPoint& wo, int zeile) {
    // The menu always belongs to the row it was opened on. Another row is
    // chosen and its data shown first, as a left click does; on the row whose
    // data are shown the fields keep what the user typed.
    if (zeile < 0) return;
    const bool gezeigt =
        ctList->Selected(zeile) && ::Feld(ctList->List(zeile), QStringLiteral(";"), 1).toInt() == EintragNr;
    if (!gezeigt) {
        ctList->Auswaehlen(zeile);
        ctList_Click();
    }
    HRechts->popup(wo);
}

void FMServer::ctList_Click() {
    int zeile = -1;
    for (int i = 0; i < ctList->ListCount(); ++i)
        if (ctList->Selected(i)) {
            zeile = i;
            break;
        }
    if (zeile < 0) return;
    try {
        DbBeginn(false);
        CacheObjektPtr o = Zustand().CacheFactory->OpenId(
            QStringLiteral("KV.KassaSW"), ::Feld(ctList->List(zeile), QStringLiteral(";"), 1));
        BFIRMA->setText(o->Eigenschaft(QStringLiteral("Firma")));
        BFIL->setText(o->Eigenschaft(QStringLiteral("FIL")));
        BSERVERIP->setText(o->Eigenschaft(QStringLiteral("ip")));
        BPORT->setText(o->Eigenschaft(QStringLiteral("PORT")));
        BNAMESPACE->setText(o->Eigenschaft(QStringLiteral("NAMESPACE")));
        EintragNr = o->Eigenschaft(QStringLiteral("sys_ID")).toInt();
        ObjektSchliessen(o);
        DbEnde(false);
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("FMServer.ctList_Click Lade Verbindungsdaten"));
    }
}

bool FMServer::EintragGewaehlt() {
    if (EintragNr != 255) return true;
    Dialoge().MsgBox(QStringLiteral("Bitte wählen Sie zuerst einen Eintrag aus der Liste."),
                     DialogService::Information, QStringLiteral("KORVAL Server"));
    return false;
}

void FMServer::mRechts_Click(int index) {
    if (index == 0) AlsStandardSpeichern();
}

void FMServer::AlsStandardSpeichern() {
    if (!EintragGewaehlt()) return;
    if (AnmeldeFenster* login = Zustand().Login) login->KeinStandardserver = false;
    SettingsStore& s = Einstellungen();
    s.Set(QStringLiteral("ServerObjekt"), QString::number(EintragNr));
    s.Set(QStringLiteral("Firma"), BFIRMA->text());
    s.Set(QStringLiteral("Filiale"), BFIL->text());
    s.Set(QStringLiteral("Server"), BSERVERIP->text());
    s.Set(QStringLiteral("Port"), BPORT->text());
    s.Set(QStringLiteral("Namespace"), BNAMESPACE->text());
}

void FMServer::BUEdit_Click() {
    const QString titel = QStringLiteral("Anmeldung an Caché");
    // The state after the click: False starts editing, True ends it.
    if (!BUEdit->Value()) {
        if (Dialoge().MsgBox(QStringLiteral("Änderungen erlauben?"), DialogService::YesNo, titel) ==
            DialogService::Yes)
            FelderFreigeben(true);
        else
            BUEdit->setValue(true);
        return;
    }
    FelderFreigeben(false);
    if (Dialoge().MsgBox(
            QStringLiteral("Änderungen sichern?\r\nDer Eintrag wird am Standardserver gespeichert"),
            DialogService::YesNo, titel) != DialogService::Yes)
        return;
    if (!EintragGewaehlt()) return;
    // A session started from the command line saves the entry on the standard
    // server but goes on with its own connection.
    Anwendungszustand& z = Zustand();
    const bool sitzungBleibt = z.VerbindungAusKommandozeile;
    const QStringList sitzung{z.Firma, z.Filiale,   z.WJ,           z.Server,
                              z.Port,  z.Namespace, z.ServerObjekt, z.ConnStrg};
    auto sitzungZurueck = [&z, &sitzung] {
        z.Firma = sitzung[0];
        z.Filiale = sitzung[1];
        z.WJ = sitzung[2];
        z.Server = sitzung[3];
        z.Port = sitzung[4];
        z.Namespace = sitzung[5];
        z.ServerObjekt = sitzung[6];
        z.ConnStrg = sitzung[7];
        // The next operation connects to the session's server again.
        Trennen();
    };
    DbEnde(false);
    Trennen();
    EinstellungenLesen(true);
    try {
        DbBeginn(false);
        CacheFactory& f = *Zustand().CacheFactory;
        f.TransaktionBeginnen();
        CacheObjektPtr o = f.OpenId(QStringLiteral("KV.KassaSW"), QString::number(EintragNr));
        o->setEigenschaft(QStringLiteral("Firma"), BFIRMA->text());
        o->setEigenschaft(QStringLiteral("FIL"), BFIL->text());
        o->setEigenschaft(QStringLiteral("ip"), BSERVERIP->text());
        o->setEigenschaft(QStringLiteral("PORT"), BPORT->text());
        o->setEigenschaft(QStringLiteral("NAMESPACE"), BNAMESPACE->text());
        o->setEigenschaft(QStringLiteral("Type"), QStringLiteral("0"));
        o->Methode(QStringLiteral("sys_Save"));
        f.TransaktionBestaetigen();
        ObjektSchliessen(o);
        DbEnde(false);
        Trennen();
        if (sitzungBleibt)
            sitzungZurueck();
        else
            VerbindungsdatenAusFenster();
    } catch (const CacheFehler& e) {
        if (Zustand().CacheFactory) Zustand().CacheFactory->TransaktionZuruecknehmen();
        // The report ends the operation.
        CacheFehlermeldung(e, QStringLiteral("Sichern Verbindungsdaten"));
        if (sitzungBleibt) sitzungZurueck();
    }
}

void FMServer::BUZurueck_Click() {
    hide();
}

void FMServer::Lock_Timer() {
    Trennen();
}

#include "frmunvereinbar.h"

#include "frmregel.h"

#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctlist.h"
#include "util/feld.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Seitentext(const QStringList& s) {
    return s.join(QStringLiteral(" / "));
}
} // namespace

frmUnvereinbar::frmUnvereinbar(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmUnvereinbar"));
    setWindowTitle(QStringLiteral("Unvereinbare Rechte"));
    auto* lay = new QVBoxLayout(this);
    auto* hinweis = new QLabel(QStringLiteral("Wer durch seine Gruppen eine Stufe jeder Seite einer Regel hat, verstößt "
                                              "gegen sie. Jede Änderung, die einen neuen Verstoß schafft, fragt nach."));
    hinweis->setWordWrap(true);
    lay->addWidget(hinweis);
    ctListRegeln = new CtList();
    ctListRegeln->setObjectName(QStringLiteral("ctListRegeln"));
    ctListRegeln->setZugriffsname(QStringLiteral("Regeln"));
    ctListRegeln->setSpalten({QStringLiteral("Name"), QStringLiteral("Seite 1"), QStringLiteral("Seite 2"),
                              QStringLiteral("Beschreibung")},
                             {120, 150, 150, 200});
    lay->addWidget(ctListRegeln, 1);
    auto* knoepfe = new QHBoxLayout();
    cmdNeu = new QPushButton(QStringLiteral("&Neu…"));
    cmdNeu->setObjectName(QStringLiteral("cmdNeu"));
    cmdAendern = new QPushButton(QStringLiteral("Ä&ndern…"));
    cmdAendern->setObjectName(QStringLiteral("cmdAendern"));
    cmdLoeschen = new QPushButton(QStringLiteral("&Löschen"));
    cmdLoeschen->setObjectName(QStringLiteral("cmdLoeschen"));
    cmdSchliessen = new QPushButton(QStringLiteral("Schließen"));
    cmdSchliessen->setObjectName(QStringLiteral("cmdSchliessen"));
    for (QPushButton* k : {cmdNeu, cmdAendern, cmdLoeschen})
        knoepfe->addWidget(k);
    knoepfe->addStretch(1);
    knoepfe->addWidget(cmdSchliessen);
    lay->addLayout(knoepfe);
    resize(720, 400);
    connect(cmdNeu, &QPushButton::clicked, this, &frmUnvereinbar::cmdNeu_Click);
    connect(cmdAendern, &QPushButton::clicked, this, &frmUnvereinbar::cmdAendern_Click);
    connect(cmdLoeschen, &QPushButton::clicked, this, &frmUnvereinbar::cmdLoeschen_Click);
    connect(ctListRegeln, &CtList::DblClick, this, &frmUnvereinbar::cmdAendern_Click);
    connect(cmdSchliessen, &QPushButton::clicked, this, &QDialog::accept);
    Laden();
}

void frmUnvereinbar::Laden() {
    ctListRegeln->Clear();
    m_regeln.clear();
    if (auto regeln = Pflege::RegelnLesen()) m_regeln = std::move(*regeln);
    for (const Pflege::Regel& r : m_regeln)
        ctListRegeln->AddItem(QStringList{r.name, Seitentext(r.seite1), Seitentext(r.seite2), r.beschreibung}.join(
            QLatin1Char(';')));
}

const Pflege::Regel* frmUnvereinbar::Gewaehlt() const {
    for (int i = 0; i < ctListRegeln->ListCount(); ++i)
        if (ctListRegeln->Selected(i)) {
            const QString name = Feld(ctListRegeln->List(i), QStringLiteral(";"), 1);
            for (const Pflege::Regel& r : m_regeln)
                if (r.name == name) return &r;
        }
    Dialoge().MsgBox(QStringLiteral("Bitte zuerst eine Regel in der Liste wählen."), DialogService::Information,
                     windowTitle());
    return nullptr;
}

void frmUnvereinbar::cmdNeu_Click() {
    frmRegel d(nullptr, this);
    Dialoge().ShowModal(&d, this);
    if (d.Gespeichert()) Laden();
}

void frmUnvereinbar::cmdAendern_Click() {
    const Pflege::Regel* r = Gewaehlt();
    if (!r) return;
    frmRegel d(r, this);
    Dialoge().ShowModal(&d, this);
    if (d.Gespeichert()) Laden();
}

void frmUnvereinbar::cmdLoeschen_Click() {
    const Pflege::Regel* r = Gewaehlt();
    if (!r) return;
    if (Dialoge().MsgBox(QStringLiteral("Regel \"%1\" löschen?").arg(r->name),
                         DialogService::YesNo | DialogService::Question, windowTitle()) != DialogService::Yes)
        return;
    if (Pflege::RegelLoeschen(r->name)) Laden();
}

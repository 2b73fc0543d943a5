#include "frmprotokoll.h"

#include "bericht.h"

#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "permissions/rueckgaengig.h"
#include "database/zustand.h"
#include "platform/dialogservice.h"
#include "platform/plattform.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/zugang.h"
#include "util/suchtext.h"

#include "util/plantext.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <limits>
#include <optional>

namespace {
constexpr int Hoechstens = 1000;

CtList* Liste(const QString& name, const QString& titel, const QStringList& spalten, const QList<int>& breiten) {
    auto* l = new CtList();
    l->setObjectName(name);
    l->setZugriffsname(titel);
    l->setTitel(titel);
    l->setSpalten(spalten, breiten);
    return l;
}

QLineEdit* Feld(const QString& name, const QString& beschreibung, const QString& muster = {}) {
    auto* f = new QLineEdit();
    f->setObjectName(name);
    f->setAccessibleName(beschreibung);
    f->setPlaceholderText(muster);
    return f;
}

// "TT.MM.JJJJ" as the log stores times (UTC), the day's start or, for `ende`,
// the next day's start; "" for an empty field, nullopt for a wrong one.
std::optional<QString> Grenze(const QString& text, bool ende) {
    if (text.trimmed().isEmpty()) return QString::fromLatin1("");
    const QDate tag = QDate::fromString(text.trimmed(), QStringLiteral("d.M.yyyy"));
    if (!tag.isValid()) return std::nullopt;
    return (ende ? tag.addDays(1) : tag).startOfDay().toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QString Ortszeit(const QString& gespeichert) {
    return QDateTime::fromString(gespeichert, Qt::ISODateWithMs)
        .toLocalTime()
        .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}
} // namespace

frmProtokoll::frmProtokoll(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmProtokoll"));
    setWindowTitle(QStringLiteral("Änderungsprotokoll"));
    setWindowIcon(QIcon(QStringLiteral(":/bilder/korval.svg")));
    AlsFensterZeigen(this);
    auto* lay = new QVBoxLayout(this);
    auto* filter = new QGridLayout();
    txtVon = Feld(QStringLiteral("txtVon"), QStringLiteral("Von"), QStringLiteral("TT.MM.JJJJ"));
    txtBis = Feld(QStringLiteral("txtBis"), QStringLiteral("Bis"), QStringLiteral("TT.MM.JJJJ"));
    txtBenutzer = Feld(QStringLiteral("txtBenutzer"), QStringLiteral("Benutzer"), QStringLiteral("Personalcode"));
    txtObjekt = Feld(QStringLiteral("txtObjekt"), QStringLiteral("Objekt"), QStringLiteral("z. B. Gruppe Lager"));
    const QString titel[4] = {QStringLiteral("&Von:"), QStringLiteral("&Bis:"), QStringLiteral("Ben&utzer:"),
                              QStringLiteral("&Objekt:")};
    QLineEdit* felder[4] = {txtVon, txtBis, txtBenutzer, txtObjekt};
    for (int i = 0; i < 4; ++i) {
        auto* l = new QLabel(titel[i]);
        l->setBuddy(felder[i]);
        filter->addWidget(l, 0, i);
        filter->addWidget(felder[i], 1, i);
        connect(felder[i], &QLineEdit::returnPressed, this, &frmProtokoll::cmdAnzeigen_Click);
    }
    cmdAnzeigen = new QPushButton(QStringLiteral("&Anzeigen"));
    cmdAnzeigen->setObjectName(QStringLiteral("cmdAnzeigen"));
    filter->addWidget(cmdAnzeigen, 1, 4);
    lay->addLayout(filter);
    auto* teiler = new QSplitter(Qt::Vertical);
    ctListProtokoll = Liste(QStringLiteral("ctListProtokoll"), QStringLiteral("Änderungen, neueste zuerst"),
                            // The number is what "korval-db rueckgaengig NR" takes.
                            {QStringLiteral("Nr."), QStringLiteral("Zeit"), QStringLiteral("Benutzer"),
                             QStringLiteral("Rechner"), QStringLiteral("Befehl"), QStringLiteral("Objekt")},
                            {50, 130, 70, 90, 110, 250});
    ctListProtokoll->View()->setSelectionMode(QAbstractItemView::SingleSelection);
    teiler->addWidget(ctListProtokoll);
    auto* seiten = new QSplitter(Qt::Horizontal);
    ctListVorher = Liste(QStringLiteral("ctListVorher"), QStringLiteral("Vorher (- entfernt)"),
                         {QStringLiteral("Eintrag")}, {250});
    ctListNachher = Liste(QStringLiteral("ctListNachher"), QStringLiteral("Nachher (+ hinzugefügt)"),
                          {QStringLiteral("Eintrag")}, {250});
    seiten->addWidget(ctListVorher);
    seiten->addWidget(ctListNachher);
    teiler->addWidget(seiten);
    lay->addWidget(teiler, 1);
    auto* unten = new QHBoxLayout();
    lblAnzahl = new QLabel();
    lblAnzahl->setObjectName(QStringLiteral("lblAnzahl"));
    cmdCsv = new QPushButton(QStringLiteral("Als &CSV exportieren…"));
    cmdCsv->setObjectName(QStringLiteral("cmdCsv"));
    cmdRueckgaengig = new QPushButton(QStringLiteral("&Rückgängig machen…"));
    cmdRueckgaengig->setObjectName(QStringLiteral("cmdRueckgaengig"));
    cmdRueckgaengig->setToolTip(QStringLiteral("Die gewählte Änderung zurücknehmen; spätere Änderungen bleiben"));
    cmdSchliessen = new QPushButton(QStringLiteral("Schließen"));
    cmdSchliessen->setObjectName(QStringLiteral("cmdSchliessen"));
    unten->addWidget(lblAnzahl, 1);
    unten->addWidget(cmdRueckgaengig);
    unten->addWidget(cmdCsv);
    unten->addWidget(cmdSchliessen);
    lay->addLayout(unten);
    resize(Plattform::Pixel(12000), Plattform::Pixel(8000));
    connect(cmdAnzeigen, &QPushButton::clicked, this, &frmProtokoll::cmdAnzeigen_Click);
    connect(cmdCsv, &QPushButton::clicked, this, &frmProtokoll::cmdCsv_Click);
    connect(cmdRueckgaengig, &QPushButton::clicked, this, &frmProtokoll::cmdRueckgaengig_Click);
    connect(cmdSchliessen, &QPushButton::clicked, this, &QWidget::close);
    connect(ctListProtokoll->View()->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmProtokoll::ctListProtokoll_Click);
}

QStringList frmProtokoll::Zeilen(const QString& gespeichert) {
    const QJsonDocument d = QJsonDocument::fromJson(gespeichert.toUtf8());
    QStringList z;
    if (d.isArray() && !d.array().isEmpty() && d.array().first().isObject()) {
        // An undo: what it did to each record.
        z = Rueckgaengig::PlanText(d.array(), 0).split(QStringLiteral("\r\n"));
    } else if (d.isArray()) {
        for (const QJsonValue& v : d.array())
            z.append(v.toString());
    } else if (d.isObject()) {
        const QJsonObject o = d.object();
        for (auto it = o.begin(); it != o.end(); ++it) {
            // A deleted program's levels, each with the groups it held.
            QStringList werte;
            for (const QJsonValue& v : it.value().toArray())
                werte.append(v.toString());
            z.append(it.key() + QStringLiteral(": ") +
                     (it.value().isArray() ? werte.join(QStringLiteral(", ")) : it.value().toString()));
        }
    } else if (!gespeichert.isEmpty()) {
        z.append(gespeichert);
    }
    return z;
}

void frmProtokoll::Vergleichen(const QStringList& vorher, const QStringList& nachher, QStringList& links,
                               QStringList& rechts) {
    links.clear();
    rechts.clear();
    // Counted: a value held twice after and once before is one added.
    QHash<QString, int> bleibt;
    for (const QString& n : nachher)
        ++bleibt[n];
    for (const QString& v : vorher)
        links.append((bleibt[v]-- > 0 ? QStringLiteral("  ") : QStringLiteral("- ")) + v);
    QHash<QString, int> war;
    for (const QString& v : vorher)
        ++war[v];
    for (const QString& n : nachher)
        rechts.append((war[n]-- > 0 ? QStringLiteral("  ") : QStringLiteral("+ ")) + n);
}

void frmProtokoll::cmdAnzeigen_Click() {
    if (!DarfLesen()) return;
    const auto von = Grenze(txtVon->text(), false), bis = Grenze(txtBis->text(), true);
    if (!von || !bis) {
        Dialoge().MsgBox(QStringLiteral("Bitte das Datum als TT.MM.JJJJ angeben."), DialogService::Exclamation,
                         QStringLiteral("Änderungsprotokoll"));
        return;
    }
    const QString benutzer = txtBenutzer->text().trimmed(), objekt = txtObjekt->text().trimmed();
    // One more than is shown tells whether there are more.
    const int grenze = Suchtext::MusterGenuegt(benutzer) && Suchtext::MusterGenuegt(objekt)
                           ? Hoechstens + 1
                           : std::numeric_limits<int>::max();
    bool mehr = false;
    m_zeilen.clear();
    m_nummern.clear();
    CacheAbfragePtr q;
    try {
        DbBeginn(true);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Protokoll"), QStringLiteral("Liste"));
        q->Ausfuehren({*von, *bis, benutzer, Suchtext::Muster(benutzer, false), objekt,
                       Suchtext::Muster(objekt, true), QString::number(grenze)});
        while (q->Naechste()) {
            if (!Suchtext::Passt(q->Spalte(4), benutzer, false) ||
                !Suchtext::Passt(q->Spalte(7), objekt, true))
                continue;
            if (static_cast<int>(m_zeilen.size()) == Hoechstens) {
                mehr = true;
                break;
            }
            QStringList z;
            for (int i = 1; i <= 9; ++i)
                z.append(q->Spalte(i));
            m_zeilen.push_back(z);
            m_nummern.push_back(q->Spalte(10).toLongLong());
        }
        ObjektSchliessen(q);
        DbEnde(true);
    } catch (const CacheFehler& e) {
        ObjektSchliessen(q);
        m_zeilen.clear();
        m_nummern.clear();
        CacheFehlermeldung(e, QStringLiteral("frmProtokoll.cmdAnzeigen_Click"));
    }
    {
        CtList::Aktualisierung einmalZeichnen(*ctListProtokoll);
        ctListProtokoll->Clear();
        for (size_t i = 0; i < m_zeilen.size(); ++i) {
            const QStringList& z = m_zeilen[i];
            ctListProtokoll->AddItem(QStringList{QString::number(m_nummern[i]), Ortszeit(z[0]), z[3], z[4], z[5], z[6]}
                                         .join(QLatin1Char(';')));
        }
    }
    ctListVorher->Clear();
    ctListNachher->Clear();
    const QLocale de(QLocale::German, QLocale::Germany);
    lblAnzahl->setText(m_zeilen.empty() ? QStringLiteral("Keine Änderung passt zu den Angaben.")
                       : mehr
                           ? QStringLiteral("Die neuesten %1 Änderungen; bitte den Zeitraum eingrenzen.")
                                 .arg(de.toString(Hoechstens))
                       : m_zeilen.size() == 1
                           ? QStringLiteral("1 Änderung")
                           : QStringLiteral("%1 Änderungen").arg(de.toString(static_cast<int>(m_zeilen.size()))));
}

void frmProtokoll::ctListProtokoll_Click() {
    const QModelIndex i = ctListProtokoll->View()->currentIndex();
    if (!i.isValid() || i.row() >= static_cast<int>(m_zeilen.size())) return;
    const QStringList& z = m_zeilen[static_cast<size_t>(i.row())];
    QStringList links, rechts;
    Vergleichen(Zeilen(z[7]), Zeilen(z[8]), links, rechts);
    for (auto [liste, zeilen] : {std::pair{ctListVorher, links}, {ctListNachher, rechts}}) {
        CtList::Aktualisierung einmalZeichnen(*liste);
        liste->Clear();
        for (const QString& e : zeilen)
            liste->AddItem(e);
    }
}

void frmProtokoll::cmdRueckgaengig_Click() {
    const QModelIndex i = ctListProtokoll->View()->currentIndex();
    if (!i.isValid() || i.row() >= static_cast<int>(m_nummern.size())) {
        Dialoge().MsgBox(QStringLiteral("Bitte zuerst eine Änderung in der Liste wählen."), DialogService::Information,
                         QStringLiteral("Änderungsprotokoll"));
        return;
    }
    QStringList objekte;
    if (!Pflege::RueckgaengigMachen(m_nummern[static_cast<size_t>(i.row())], &objekte)) return;
    cmdAnzeigen_Click();
    emit Zurueckgenommen(objekte);
}

void frmProtokoll::cmdCsv_Click() {
    if (!DarfLesen()) return;
    if (m_zeilen.empty()) {
        Dialoge().MsgBox(QStringLiteral("Bitte zuerst Änderungen anzeigen."), DialogService::Information,
                         QStringLiteral("Änderungsprotokoll"));
        return;
    }
    const QString pfad = Berichte::Speicherort(QStringLiteral("Als CSV exportieren"),
                                               QStringLiteral("Änderungsprotokoll.csv"),
                                               QStringLiteral("CSV-Dateien (*.csv)"));
    if (pfad.isEmpty()) return;
    QString fehler;
    // The number last: the columns before it stay where spreadsheets expect them.
    std::vector<QStringList> mitNummern = m_zeilen;
    for (size_t i = 0; i < mitNummern.size(); ++i)
        mitNummern[i].append(QString::number(m_nummern[i]));
    const bool ok = Berichte::CsvSchreiben(
        pfad,
        {QStringLiteral("Zeit"), QStringLiteral("Firma"), QStringLiteral("Filiale"), QStringLiteral("Benutzer"),
         QStringLiteral("Rechner"), QStringLiteral("Befehl"), QStringLiteral("Objekt"), QStringLiteral("Vorher"),
         QStringLiteral("Nachher"), QStringLiteral("Nr.")},
        mitNummern, fehler);
    Berichte::Melden(ok, fehler, pfad);
}

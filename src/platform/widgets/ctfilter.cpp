#include "ctfilter.h"

#include "ctlist.h"
#include "falten.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTreeView>

CtFilterList::CtFilterList(const QString& titel, const QString& name, QWidget* parent)
    : QWidget(parent), m_filter(new QLineEdit(this)), m_anzahl(new QLabel(this)), m_hinweis(new QLabel(this)),
      m_liste(new CtList(this)) {
    setObjectName(name);
    auto* lay = new QGridLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    m_titel = new QLabel(titel, this);
    lay->addWidget(m_titel, 0, 0, 1, 2);
    m_filter->setObjectName(QStringLiteral("txtFilter") + name);
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setAccessibleName(QStringLiteral("Filter ") + titel);
    lay->addWidget(m_filter, 1, 0);
    m_anzahl->setObjectName(QStringLiteral("lblAnzahl") + name);
    lay->addWidget(m_anzahl, 1, 1);
    m_liste->setObjectName(QStringLiteral("ctList") + name);
    m_liste->setZugriffsname(titel);
    m_titel->setBuddy(m_liste->View());
    m_liste->View()->header()->setStretchLastSection(true);
    lay->addWidget(m_liste, 2, 0, 1, 2);
    m_hinweis->setObjectName(QStringLiteral("lblHinweis") + name);
    m_hinweis->setWordWrap(true);
    m_hinweis->setVisible(false);
    lay->addWidget(m_hinweis, 3, 0, 1, 2);
    lay->setRowStretch(2, 1);
    setFocusProxy(m_filter);
    m_filter->installEventFilter(this);
    connect(m_filter, &QLineEdit::textChanged, this, &CtFilterList::Filtern);
    // A click, the arrow keys and typing a name all move the current row.
    connect(m_liste->View()->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& i) {
                if (i.isValid()) emit Gewaehlt(i.row());
            });
    connect(m_liste, &CtList::DblClick, this, [this] {
        const QModelIndex i = m_liste->View()->currentIndex();
        if (i.isValid()) emit DblClick(i.row());
    });
    Filtern();
}

bool CtFilterList::eventFilter(QObject* objekt, QEvent* e) {
    // Down or Enter in the filter field goes on to the list, at its first row
    // unless one is current: typing a name and Enter chooses it.
    if (objekt == m_filter && e->type() == QEvent::KeyPress) {
        const int taste = static_cast<QKeyEvent*>(e)->key();
        if ((taste == Qt::Key_Down || taste == Qt::Key_Return || taste == Qt::Key_Enter) && Angezeigt() > 0) {
            QTreeView* v = m_liste->View();
            if (!v->currentIndex().isValid()) v->setCurrentIndex(v->model()->index(0, 0));
            v->setFocus();
            return true;
        }
    }
    return QWidget::eventFilter(objekt, e);
}

bool CtFilterList::Auswaehlen(const QString& schluessel) {
    for (int i = 0; i < Angezeigt(); ++i)
        if (Gezeigt(i)->daten.toStringList().value(0) == schluessel) {
            QTreeView* v = m_liste->View();
            v->setCurrentIndex(v->model()->index(i, 0));
            v->scrollTo(v->currentIndex());
            return true;
        }
    return false;
}

void CtFilterList::setSpalten(const QStringList& titel, const QList<int>& breiten) {
    m_liste->setSpalten(titel, breiten);
}

void CtFilterList::setTitel(const QString& titel) {
    m_titel->setText(titel);
}

void CtFilterList::setLeertext(const QString& text) {
    m_leertext = text;
    Filtern();
}

void CtFilterList::setZeilen(std::vector<Eintrag> zeilen) {
    m_alle = std::move(zeilen);
    // Folded when a filter first needs them.
    m_kurz.clear();
    m_lang.clear();
    Filtern();
}

void CtFilterList::Leeren(const QString& leertext) {
    m_leertext = leertext;
    setZeilen({});
}

int CtFilterList::Angezeigt() const {
    return static_cast<int>(m_gezeigt.size());
}

const CtFilterList::Eintrag* CtFilterList::Gezeigt(int zeile) const {
    if (zeile < 0 || zeile >= Angezeigt()) return nullptr;
    return &m_alle[static_cast<size_t>(m_gezeigt[static_cast<size_t>(zeile)])];
}

bool CtFilterList::Passt(const QString& text, const QString& filter) {
    return Gefaltet::Ganz(text).contains(Gefaltet::Ganz(filter)) ||
           Gefaltet::Ganz(text, true).contains(Gefaltet::Ganz(filter, true));
}

void CtFilterList::Filtern() {
    // Plain text, compared as it stands: "%", "_" or quotes mean themselves.
    const QString kurz = Gefaltet::Ganz(m_filter->text()), lang = Gefaltet::Ganz(m_filter->text(), true);
    m_gezeigt.clear();
    if (!kurz.isEmpty() && m_kurz.size() != m_alle.size()) {
        m_kurz.reserve(m_alle.size());
        m_lang.reserve(m_alle.size());
        for (const Eintrag& e : m_alle) {
            m_kurz.push_back(Gefaltet::Ganz(e.text));
            m_lang.push_back(Gefaltet::Ganz(e.text, true));
        }
    }
    for (size_t i = 0; i < m_alle.size(); ++i)
        if (kurz.isEmpty() || m_kurz[i].contains(kurz) || m_lang[i].contains(lang))
            m_gezeigt.push_back(static_cast<int>(i));
    {
        CtList::Aktualisierung einmalZeichnen(*m_liste);
        m_liste->Clear();
        for (int i : m_gezeigt) {
            const Eintrag& e = m_alle[static_cast<size_t>(i)];
            m_liste->AddItem(e.text);
            m_liste->setItemData(m_liste->ListCount() - 1, e.daten);
        }
    }
    const QLocale de(QLocale::German, QLocale::Germany);
    m_anzahl->setText(QStringLiteral("%1 von %2").arg(de.toString(Angezeigt()), de.toString(Gesamt())));
    if (m_alle.empty()) {
        m_hinweis->setText(m_leertext);
        m_hinweis->setVisible(!m_leertext.isEmpty());
    } else if (m_gezeigt.empty()) {
        m_hinweis->setText(QStringLiteral("Kein Eintrag enthält „%1“.").arg(m_filter->text()));
        m_hinweis->setVisible(true);
    } else {
        m_hinweis->setVisible(false);
    }
}

#include "ctlist.h"
#include "falten.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace {
QStringView SpaltenAusschnitt(const QString& text, int n, bool rest) {
    qsizetype anfang = 0;
    for (int i = 0; i < n; ++i) {
        const qsizetype t = text.indexOf(QLatin1Char(';'), anfang);
        if (t < 0) return {};
        anfang = t + 1;
    }
    if (rest) return QStringView(text).mid(anfang);
    const qsizetype ende = text.indexOf(QLatin1Char(';'), anfang);
    return QStringView(text).mid(anfang, (ende < 0 ? text.size() : ende) - anfang);
}
} // namespace

namespace {
// Typing letters moves to the first row whose text in the current column (the
// name when none is current) begins with them; umlauts and case as in the sort.
class Ansicht final : public QTreeView {
  public:
    using QTreeView::QTreeView;
    void keyboardSearch(const QString& text) override {
        auto* m = static_cast<CtListModel*>(model());
        if (!m || m->Anzahl() == 0 || text.isEmpty()) return;
        if (!m_seit.isValid() || m_seit.elapsed() > QApplication::keyboardInputInterval()) m_eingabe.clear();
        m_seit.start();
        m_eingabe += text;
        const int spalte = m_spalte >= 0 && m_spalte < m->columnCount() ? m_spalte : m->columnCount() - 1;
        const std::u16string gesucht = Falten(m_eingabe);
        for (int i = 0; i < m->Anzahl(); ++i) {
            const std::u16string zelle = Falten(m->Spalte(m->At(i).text, spalte));
            if (zelle.compare(0, gesucht.size(), gesucht) != 0) continue;
            const QModelIndex ziel = m->index(i, spalte);
            selectionModel()->setCurrentIndex(ziel, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            scrollTo(ziel);
            return;
        }
    }

  protected:
    void mousePressEvent(QMouseEvent* e) override {
        // The column clicked last is the one typing searches.
        const QModelIndex i = indexAt(e->position().toPoint());
        if (i.isValid()) m_spalte = i.column();
        QTreeView::mousePressEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        // Any other key starts the next search afresh.
        if (e->text().isEmpty() || !e->text().at(0).isPrint()) m_eingabe.clear();
        QTreeView::keyPressEvent(e);
    }

  private:
    static std::u16string Falten(const QString& s) {
        std::u16string f;
        Gefaltet g(s);
        for (char16_t c = g.Naechstes(); c != 0; c = g.Naechstes())
            f.push_back(c);
        return f;
    }
    QString m_eingabe;
    QElapsedTimer m_seit;
    int m_spalte = -1; // none clicked yet: the last column, the name
};
} // namespace

QString CtListModel::Spalte(const QString& text, int n) const {
    return SpaltenAusschnitt(text, n, n == columnCount() - 1).toString();
}

int CtListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_zeilen.size());
}

int CtListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max<int>(1, static_cast<int>(m_titel.size()));
}

QVariant CtListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Anzahl() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    // The last column shows the rest of the row text.
    return Spalte(At(index.row()).text, index.column());
}

QVariant CtListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section < m_titel.size()) return m_titel[section];
    return {};
}

void CtListModel::setTitel(const QStringList& titel) {
    beginResetModel();
    m_titel = titel;
    endResetModel();
}

void CtListModel::BeginBulk() {
    if (m_bulk++ == 0) beginResetModel();
}

void CtListModel::EndBulk() {
    if (--m_bulk == 0) endResetModel();
}

CtList::Aktualisierung::Aktualisierung(CtList& l) : m_l(l), m_zeichnen(l.m_view->updatesEnabled()) {
    // No paint and no layout of a list that is half rebuilt.
    m_l.m_view->setUpdatesEnabled(false);
    m_l.m_model->BeginBulk();
}

CtList::Aktualisierung::~Aktualisierung() {
    m_l.m_model->EndBulk();
    m_l.m_view->setUpdatesEnabled(m_zeichnen);
}

void CtListModel::Clear() {
    if (m_zeilen.empty()) return;
    if (m_bulk) {
        m_zeilen.clear();
        return;
    }
    beginResetModel();
    m_zeilen.clear();
    endResetModel();
}

void CtListModel::InsertItem(int pos, const QString& text) {
    pos = std::clamp(pos, 0, Anzahl());
    if (!m_bulk) beginInsertRows({}, pos, pos);
    Zeile z{text, {}};
    if (pos == 0)
        m_zeilen.push_front(std::move(z));
    else if (pos == Anzahl())
        m_zeilen.push_back(std::move(z));
    else
        m_zeilen.insert(m_zeilen.begin() + pos, std::move(z));
    if (!m_bulk) endInsertRows();
}

void CtListModel::RemoveItem(int pos) {
    if (pos < 0 || pos >= Anzahl()) return;
    if (!m_bulk) beginRemoveRows({}, pos, pos);
    m_zeilen.erase(m_zeilen.begin() + pos);
    if (!m_bulk) endRemoveRows();
}

void CtListModel::Begrenzen(int n) {
    if (Anzahl() <= n) return;
    if (!m_bulk) beginRemoveRows({}, n, Anzahl() - 1);
    m_zeilen.resize(static_cast<size_t>(n));
    if (!m_bulk) endRemoveRows();
}

void CtListModel::setItemData(int pos, const QVariant& v) {
    if (pos >= 0 && pos < Anzahl()) m_zeilen[static_cast<size_t>(pos)].daten = v;
}

void CtListModel::Sortieren(int spalte, int richtung) {
    const int s = std::max(spalte, 1) - 1;
    // Folded keys once per row, side by side in one buffer. The first four
    // characters of each key also stand packed in one number, so that most
    // comparisons are one integer comparison; only equal heads look further.
    const size_t n = m_zeilen.size();
    std::vector<char16_t> puffer;
    puffer.reserve(n * 16);
    struct Schluessel {
        std::uint64_t kopf;
        std::uint32_t anfang, laenge;
        std::uint32_t zeile;
    };
    std::vector<Schluessel> schluessel(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t anfang = puffer.size();
        Gefaltet g(SpaltenAusschnitt(m_zeilen[i].text, s, false));
        for (char16_t c = g.Naechstes(); c != 0; c = g.Naechstes())
            puffer.push_back(c);
        const size_t laenge = puffer.size() - anfang;
        std::uint64_t kopf = 0;
        for (size_t k = 0; k < 4; ++k)
            kopf = (kopf << 16) | (k < laenge ? puffer[anfang + k] : 0);
        schluessel[i] = {kopf, static_cast<std::uint32_t>(anfang), static_cast<std::uint32_t>(laenge),
                         static_cast<std::uint32_t>(i)};
    }
    auto vergleich = [&](const Schluessel& a, const Schluessel& b) {
        if (a.kopf != b.kopf) return a.kopf < b.kopf ? -1 : 1;
        if (a.laenge <= 4 && b.laenge <= 4) return 0;
        // Past the head: the rest in code units, as the head compares them.
        const size_t ka = std::min<size_t>(4, a.laenge), kb = std::min<size_t>(4, b.laenge);
        const std::u16string_view x(puffer.data() + a.anfang + ka, a.laenge - ka);
        const std::u16string_view y(puffer.data() + b.anfang + kb, b.laenge - kb);
        return x.compare(y);
    };
    std::stable_sort(schluessel.begin(), schluessel.end(), [&](const Schluessel& a, const Schluessel& b) {
        const int c = vergleich(a, b);
        return richtung == 0 ? c < 0 : c > 0;
    });
    if (!m_bulk) beginResetModel();
    std::deque<Zeile> neu;
    for (const Schluessel& k : schluessel)
        neu.push_back(std::move(m_zeilen[k.zeile]));
    m_zeilen.swap(neu);
    if (!m_bulk) endResetModel();
}

CtList::CtList(QWidget* parent)
    : QWidget(parent), m_model(new CtListModel(this)), m_view(new Ansicht(this)),
      m_titel(new QLabel(this)) {
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    m_titel->setVisible(false);
    m_titel->setBuddy(m_view);
    m_titel->setAutoFillBackground(true);
    m_titel->setBackgroundRole(QPalette::Highlight);
    m_titel->setForegroundRole(QPalette::HighlightedText);
    lay->addWidget(m_titel);
    lay->addWidget(m_view);
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setItemsExpandable(false);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setAllColumnsShowFocus(true);
    m_view->header()->setStretchLastSection(false);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    setFocusProxy(m_view);
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(8.25);
    m_view->setFont(f);
    m_view->header()->setFont(f);
    connect(m_view, &QTreeView::clicked, this, &CtList::Click);
    connect(m_view, &QTreeView::doubleClicked, this, &CtList::DblClick);
}

bool CtList::eventFilter(QObject* o, QEvent* e) {
    if (o != m_view && o != m_view->viewport()) return QWidget::eventFilter(o, e);
    if (e->type() == QEvent::KeyPress) {
        // The menu key and Shift+F10 open the menu of the current row.
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() != Qt::Key_Menu && !(k->key() == Qt::Key_F10 && k->modifiers() == Qt::ShiftModifier))
            return QWidget::eventFilter(o, e);
        const QModelIndex i = m_view->currentIndex();
        const QRect r = i.isValid() ? m_view->visualRect(i) : m_view->viewport()->rect();
        emit RechteMaustaste(m_view->viewport()->mapToGlobal(r.center()), i.isValid() ? i.row() : -1);
        return true;
    }
    if (e->type() != QEvent::ContextMenu) return QWidget::eventFilter(o, e);
    // The keyboard's own request is answered by the key above, once.
    auto* c = static_cast<QContextMenuEvent*>(e);
    if (c->reason() == QContextMenuEvent::Mouse) {
        const QPoint p = m_view->viewport()->mapFromGlobal(c->globalPos());
        emit RechteMaustaste(c->globalPos(), m_view->indexAt(p).row());
    }
    return true;
}

void CtList::setSpalten(const QStringList& titel, const QList<int>& breiten) {
    m_model->setTitel(titel);
    for (int i = 0; i < breiten.size(); ++i)
        m_view->setColumnWidth(i, breiten[i]);
}

void CtList::setTitel(const QString& titel) {
    m_titel->setText(titel);
    m_titel->setVisible(!titel.isEmpty());
}

void CtList::setZugriffsname(const QString& name) {
    setAccessibleName(name);
    m_view->setAccessibleName(name);
}

QString CtList::Titel() const {
    return m_titel->text();
}

QString CtList::List(int pos) const {
    return pos >= 0 && pos < ListCount() ? m_model->At(pos).text : QString();
}

bool CtList::Selected(int pos) const {
    return m_view->selectionModel() && m_view->selectionModel()->isRowSelected(pos, {});
}

void CtList::setSelected(int pos, bool an) {
    const QModelIndex i = m_model->index(pos, 0);
    if (!i.isValid()) return;
    m_view->selectionModel()->select(i, (an ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                            QItemSelectionModel::Rows);
}

void CtList::Auswaehlen(int pos) {
    const QModelIndex i = m_model->index(pos, 0);
    if (!i.isValid()) return;
    m_view->selectionModel()->setCurrentIndex(
        i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QVariant CtList::ItemData(int pos) const {
    return pos >= 0 && pos < ListCount() ? m_model->At(pos).daten : QVariant();
}

int CtList::ColumnWidth(int spalte) const {
    return m_view->columnWidth(spalte - 1);
}

void CtList::setColumnWidth(int spalte, int pixel) {
    m_view->setColumnWidth(spalte - 1, pixel);
}

void CtList::setFontSize(double punkte) {
    QFont f = m_view->font();
    f.setPointSizeF(punkte);
    m_view->setFont(f);
}

void CtList::setHeaderFontSize(double punkte) {
    QFont f = m_view->header()->font();
    f.setPointSizeF(punkte);
    m_view->header()->setFont(f);
}

double CtList::FontSize() const {
    return m_view->font().pointSizeF();
}

void CtList::Relayout(bool neu) {
    if (neu) m_view->doItemsLayout();
    m_view->viewport()->update();
}

#pragma once
// Multi-column list: rows of text whose columns are separated by ";", rows
// numbered from 0 and columns from 1, a data value per row, extended
// multi-selection and a stable sort. Rows live in a deque so that inserting at
// the top costs O(1); bulk changes inside an Aktualisierung redraw once.

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <deque>

class QLabel;
class QTreeView;

class CtListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    struct Zeile {
        QString text;
        QVariant daten;
    };
    // Column n (from 0) of a row text; the last column takes the rest.
    QString Spalte(const QString& text, int n) const;

    explicit CtListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    void setTitel(const QStringList& titel);
    void Clear();
    void InsertItem(int pos, const QString& text);
    void RemoveItem(int pos);
    void setItemData(int pos, const QVariant& v);
    void Sortieren(int spalte, int richtung);
    int Anzahl() const { return static_cast<int>(m_zeilen.size()); }
    const Zeile& At(int pos) const { return m_zeilen[static_cast<size_t>(pos)]; }
    // Keeps at most n rows, dropping from the end.
    void Begrenzen(int n);

    void BeginBulk();
    void EndBulk();

  private:
    QStringList m_titel;
    std::deque<Zeile> m_zeilen;
    int m_bulk = 0;
};

class CtList : public QWidget {
    Q_OBJECT
  public:
    explicit CtList(QWidget* parent = nullptr);

    // Column titles with widths in pixels.
    void setSpalten(const QStringList& titel, const QList<int>& breiten);
    void setTitel(const QString& titel);
    // The name a screen reader speaks for the list (set on the list itself).
    void setZugriffsname(const QString& name);
    QString Titel() const;

    void Clear() { m_model->Clear(); }
    void AddItem(const QString& text) { m_model->InsertItem(m_model->Anzahl(), text); }
    void InsertItem(int pos, const QString& text) { m_model->InsertItem(pos, text); }
    int ListCount() const { return m_model->Anzahl(); }
    QString List(int pos) const;
    bool Selected(int pos) const;
    void setSelected(int pos, bool an);
    // Makes `pos` the only chosen row, as a left click does.
    void Auswaehlen(int pos);
    void RemoveItem(int pos) { m_model->RemoveItem(pos); }
    void setItemData(int pos, const QVariant& v) { m_model->setItemData(pos, v); }
    QVariant ItemData(int pos) const;
    void setSortColumn(int spalte) { m_sortSpalte = spalte; }
    void setSortOrder(int richtung) { m_sortRichtung = richtung; }
    void Sort() { m_model->Sortieren(m_sortSpalte, m_sortRichtung); }
    int ColumnWidth(int spalte) const;
    void setColumnWidth(int spalte, int pixel);
    void setFontSize(double punkte);
    void setHeaderFontSize(double punkte);
    double FontSize() const;
    void Relayout(bool neu);
    void Begrenzen(int n) { m_model->Begrenzen(n); }

    CtListModel* Model() const { return m_model; }
    QTreeView* View() const { return m_view; }

    // Many changes, one redraw.
    class Aktualisierung {
      public:
        explicit Aktualisierung(CtList& l);
        ~Aktualisierung();
        Aktualisierung(const Aktualisierung&) = delete;
        Aktualisierung& operator=(const Aktualisierung&) = delete;

      private:
        CtList& m_l;
        bool m_zeichnen;
    };

  signals:
    void Click();
    void DblClick();
    // Right mouse button, the menu key or Shift+F10: where the menu opens and
    // the row it belongs to (-1 outside every row).
    void RechteMaustaste(const QPoint& global, int zeile);

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    CtListModel* m_model;
    QTreeView* m_view;
    QLabel* m_titel;
    int m_sortSpalte = 1;
    int m_sortRichtung = 0;
};

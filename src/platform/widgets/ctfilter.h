#pragma once
// A list with a filter field above it: as the user types, only rows that
// contain the text stay (case, umlauts and ß as a German reader expects:
// "ä" finds "ä", "ae" and "a"; "ß" finds "ss"); the count of shown and all
// rows stands beside the field, and a plain line says when there is nothing.

#include <QString>
#include <QVariant>
#include <QWidget>

#include <vector>

class CtList;
class QLabel;
class QLineEdit;

class CtFilterList final : public QWidget {
    Q_OBJECT
  public:
    struct Eintrag {
        QString text; // columns separated by ";"
        QVariant daten;
    };

    CtFilterList(const QString& titel, const QString& name, QWidget* parent = nullptr);
    void setSpalten(const QStringList& titel, const QList<int>& breiten);
    void setTitel(const QString& titel);
    // What the list says when it has no rows at all (before any filtering).
    void setLeertext(const QString& text);
    // All rows, in the order shown; the filter stays and applies to them.
    void setZeilen(std::vector<Eintrag> zeilen);
    void Leeren(const QString& leertext);

    int Gesamt() const { return static_cast<int>(m_alle.size()); }
    int Angezeigt() const;
    // The row of the shown list (from 0) as given in setZeilen.
    const Eintrag* Gezeigt(int zeile) const;

    QLineEdit* Filter() const { return m_filter; }
    CtList* Liste() const { return m_liste; }
    QLabel* Anzahl() const { return m_anzahl; }
    QLabel* Hinweis() const { return m_hinweis; }

    // Does the row text contain the filter, as the field matches it?
    static bool Passt(const QString& text, const QString& filter);
    // Makes the shown row whose data starts with `schluessel` the current one.
    bool Auswaehlen(const QString& schluessel);

  protected:
    bool eventFilter(QObject* objekt, QEvent* e) override;

  signals:
    void Gewaehlt(int zeile);
    void DblClick(int zeile);

  private:
    void Filtern();
    std::vector<Eintrag> m_alle;
    // Per row its folded forms: umlauts as bare letters, and as ae/oe/ue.
    std::vector<QString> m_kurz, m_lang;
    std::vector<int> m_gezeigt;
    QString m_leertext;
    QLabel* m_titel;
    QLineEdit* m_filter;
    QLabel* m_anzahl;
    QLabel* m_hinweis;
    CtList* m_liste;
};

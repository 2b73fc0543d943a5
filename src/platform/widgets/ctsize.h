#pragma once
// Pane container: children are placed at their design positions in twips; the
// ones that are told to grow take the pane's extra width and height.

#include <QWidget>

#include <vector>

class CtSize : public QWidget {
    Q_OBJECT
  public:
    enum Wachsen { Fest = 0, Breiter = 1, Hoeher = 2, Beides = 3, Unten = 4 };

    CtSize(int designBreite, int designHoehe, QWidget* parent = nullptr);
    // Position in twips relative to the pane.
    void Platzieren(QWidget* w, int links, int oben, int breite, int hoehe, int wachsen = Fest);
    void Anordnen();
    int DesignBreite() const { return m_breite; }

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    struct Platz {
        QWidget* w;
        int links, oben, breite, hoehe, wachsen;
    };
    int m_breite, m_hoehe;
    std::vector<Platz> m_plaetze;
};

class HyperLink : public QWidget {
    Q_OBJECT
  public:
    HyperLink(const QString& text, const QString& ziel, QWidget* parent = nullptr);
    QString Ziel() const { return m_ziel; }

  private:
    QString m_ziel;
};

#pragma once
// The current violations of the rules of incompatible rights, from the
// server's rows (code, name, rule, side, group, exception's reason, who,
// when; sorted by code, rule, side and group) to one row per employee and
// rule: code, name, rule, the groups of side 1, those of side 2 (each joined
// by ", "), and the exception's reason, who granted it and when. Shared by the
// window and korval-db.

#include <QString>
#include <QStringList>

#include <vector>

namespace Verstosszeilen {

inline QStringList Spalten() {
    return {QStringLiteral("Code"),          QStringLiteral("Name"),        QStringLiteral("Regel"),
            QStringLiteral("Seite 1 durch"), QStringLiteral("Seite 2 durch"), QStringLiteral("Ausnahme"),
            QStringLiteral("Ausnahme von"),  QStringLiteral("Ausnahme am")};
}

// `zeile` takes the server's rows one by one; `fertig` gets each employee's row per rule.
class Sammler {
  public:
    template <typename Je>
    void Zeile(const QStringList& z, Je&& fertig) {
        if (!m_aktuell.isEmpty() && (m_aktuell[0] != z[0] || m_aktuell[2] != z[2])) fertig(Abschliessen());
        if (m_aktuell.isEmpty()) m_aktuell = {z[0], z[1], z[2], QString(), QString(), z[5], z[6], z[7]};
        QString& seite = m_aktuell[z[3] == QLatin1String("1") ? 3 : 4];
        seite += (seite.isEmpty() ? QString() : QStringLiteral(", ")) + z[4];
    }
    template <typename Je>
    void Ende(Je&& fertig) {
        if (!m_aktuell.isEmpty()) fertig(Abschliessen());
    }

  private:
    QStringList Abschliessen() {
        QStringList z = m_aktuell;
        m_aktuell.clear();
        return z;
    }
    QStringList m_aktuell;
};

// Reads the query's rows (already run) and hands on one row per employee and rule.
template <typename Abfrage, typename Je>
void Lesen(Abfrage& q, Je&& fertig) {
    Sammler sammler;
    while (q.Naechste()) {
        QStringList z;
        for (int i = 1; i <= 8; ++i)
            z.append(q.Spalte(i));
        sammler.Zeile(z, fertig);
    }
    sammler.Ende(fertig);
}

} // namespace Verstosszeilen

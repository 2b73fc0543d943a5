#pragma once
// The current violations of the rules of incompatible rights, put together
// from the server's rows (the rules' granting groups, the exceptions and the
// memberships in those groups; see the query "Verstoesse") to one row per
// employee and rule: code, name, rule, the groups of side 1, those of side 2
// (each joined by ", "), and the exception's reason, who granted it and when.
// Sorted by code and rule. Shared by the window and korval-db.

#include <QHash>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <vector>

namespace Verstosszeilen {

inline QStringList Spalten() {
    return {QStringLiteral("Code"),          QStringLiteral("Name"),        QStringLiteral("Regel"),
            QStringLiteral("Seite 1 durch"), QStringLiteral("Seite 2 durch"), QStringLiteral("Ausnahme"),
            QStringLiteral("Ausnahme von"),  QStringLiteral("Ausnahme am")};
}

// Takes the server's rows one by one (kind, name, code, rule, side, group,
// reason, who, when) in their order; `fertig` gets each employee's row per rule.
class Sammler {
  public:
    template <typename Je>
    void Zeile(const QStringList& z, Je&& fertig) {
        if (z[0] == QLatin1String("1")) {
            // Rules come by name, so a rule's number is its place in that order.
            if (m_regeln.isEmpty() || m_regeln.back() != z[3]) m_regeln.append(z[3]);
            m_seiten[z[5]].push_back({static_cast<int>(m_regeln.size() - 1), z[4] == QLatin1String("1") ? 0 : 1});
        } else if (z[0] == QLatin1String("2")) {
            m_ausnahmen[z[2]].insert(z[3], {z[6], z[7], z[8]});
        } else {
            if (z[2] != m_code) Ende(fertig);
            if (m_code.isNull()) {
                m_code = z[2];
                m_name = z[1];
            }
            // Groups come in order, so each side lists them sorted.
            const auto seiten = m_seiten.constFind(z[5]);
            if (seiten == m_seiten.constEnd()) return;
            if (m_stand.empty()) m_stand.resize(static_cast<size_t>(m_regeln.size()));
            for (const auto& [regel, seite] : *seiten) {
                auto& stand = m_stand[static_cast<size_t>(regel)];
                if (stand[0].isEmpty() && stand[1].isEmpty()) m_beruehrt.push_back(regel);
                stand[seite] += (stand[seite].isEmpty() ? QString() : QStringLiteral(", ")) + z[5];
            }
        }
    }
    // The last employee's rows.
    template <typename Je>
    void Ende(Je&& fertig) {
        std::sort(m_beruehrt.begin(), m_beruehrt.end());
        const QHash<QString, std::array<QString, 3>> ausnahmen = m_ausnahmen.value(m_code);
        for (int regel : m_beruehrt) {
            auto& stand = m_stand[static_cast<size_t>(regel)];
            if (!stand[0].isEmpty() && !stand[1].isEmpty()) {
                const QString& name = m_regeln[regel];
                const std::array<QString, 3> a = ausnahmen.value(name);
                fertig(QStringList{m_code, m_name, name, stand[0], stand[1], a[0], a[1], a[2]});
            }
            stand = {};
        }
        m_beruehrt.clear();
        m_code = QString();
        m_name.clear();
    }

  private:
    QStringList m_regeln;
    QHash<QString, std::vector<std::pair<int, int>>> m_seiten; // group: (rule, side 0 or 1)
    QHash<QString, QHash<QString, std::array<QString, 3>>> m_ausnahmen; // code, rule: reason, who, when
    QString m_code;                                             // the employee being read, null before
    QString m_name;
    std::vector<std::array<QString, 2>> m_stand; // per rule: the employee's groups of each side
    std::vector<int> m_beruehrt;                 // the rules with a group so far
};

// Reads the query's rows (already run) and hands on one row per employee and rule.
template <typename Abfrage, typename Je>
void Lesen(Abfrage& q, Je&& fertig) {
    Sammler sammler;
    QStringList z;
    while (q.Naechste()) {
        z.clear();
        for (int i = 1; i <= 9; ++i)
            z.append(q.Spalte(i));
        sammler.Zeile(z, fertig);
    }
    sammler.Ende(fertig);
}

} // namespace Verstosszeilen

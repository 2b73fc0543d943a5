#pragma once
// The whole permission matrix (no selection) as the named query gives it, in
// its order, but made row by row from its parts: each member with its name
// once, each group's levels once. Sorting the tens of millions of rows of a
// large company before the first one cost minutes; the parts are small.

#include <QHash>
#include <QString>

#include <array>
#include <vector>

class SqlCacheFactory;

class Matrixerzeuger {
  public:
    // Reads the parts (three requests); `firma` names the employees.
    Matrixerzeuger(SqlCacheFactory& f, const QString& firma);
    bool Naechste();
    // Column 1 to 6: code, name (window form), group, program, sub-program, level.
    const QString& Spalte(int nummer) const;

  private:
    struct Einheit {
        QString code, name, gruppe;
    };
    std::vector<Einheit> m_einheiten; // in the query's order
    QHash<QString, std::vector<std::array<QString, 3>>> m_stufen;
    const std::vector<std::array<QString, 3>>* m_aktuelleStufen = nullptr;
    long m_einheit = -1;
    size_t m_stufe = 0;
    QString m_leer;
};

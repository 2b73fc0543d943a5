#pragma once
// The server classes: which table keeps them, how their ids are made, their
// properties, list properties and named queries.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct PropertyDef {
    QString name; // as the class spells it
    QString column;
    bool integer = false;
};

struct ListDef {
    QString name;  // the list property
    QString table; // child table with a position column "pos"
    QString valueColumn;
};

struct ClassDef {
    QString name;
    QString table;
    QStringList keyColumns; // the id's "||" parts in order
    QList<PropertyDef> properties;
    std::optional<ListDef> list;
    bool newOnly = false; // KV.Windows: no stored objects
    bool integerKey = false;

    const PropertyDef* property(const QString& name) const;
    bool isKeyColumn(const QString& column) const { return keyColumns.contains(column); }
};

struct QueryDef {
    QString sql;
    QList<int> bind; // which given parameter goes to each placeholder
    int parameters = 0;
    int columns = 1;
    // Columns (from 0) stored in the 7-bit form and delivered as window text.
    QList<int> display = {};
    // Read row by row instead of whole: results that may not fit in memory.
    bool stream = false;
    // Asked again with the same parameters before anything else reaches the
    // server, the answer is the same: the sign-on looks the code up twice.
    bool wiederholbar = false;
};

const ClassDef* findClass(const QString& name);
const QueryDef* findQuery(const QString& klasse, const QString& abfrage);

// A member code (window form) in the server's 7-bit form, in SQL: the key of
// its employee record.
QString SiebenbitSql(const QString& spalte);
// The groups that grant either side of the rules of incompatible rights in
// `regeln` (a table or subselect with uv_regel's columns), as an SQL select
// of rule name (regel), side (seite: 1 or 2) and group (gruppe).
QString RegelSeitenSql(const QString& regeln);
// The server's 7-bit German form back to window text.
QString sevenBitToDisplay(const QString& stored);
// Window text to the 7-bit form (what the suite's programs store).
QString displayToSevenBit(const QString& text);

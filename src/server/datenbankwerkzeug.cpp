#include "datenbankwerkzeug.h"

#include "database/cacheclient.h"
#include "util/csv.h"
#include "util/plantext.h"
#include "util/suchtext.h"
#include "util/uebernahme.h"
#include "util/vergleichszeilen.h"
#include "util/verstosszeilen.h"

#include "server/klassen.h"
#include "server/protokoll.h"
#include "server/schema.h"
#include "server/sqlfactory.h"
#include "server/verbindungsziel.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
#include <QSysInfo>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <cstdio>
#include <functional>
#include <map>
#include <random>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace Datenbankwerkzeug {

QString Siebenbit(const QString& text) {
    return displayToSevenBit(text);
}

namespace {
QString Meldung(const CacheFehler& e) {
    if (e.Nummer() == Fehlernummer::Unvereinbar) {
        // The violations the change would make, one by one.
        const QString json = e.Beschreibung().mid(e.Beschreibung().indexOf(QLatin1Char(' ')) + 1);
        QStringList teile;
        for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array()) {
            const QJsonArray a = v.toArray();
            auto gruppen = [](const QJsonValue& g) {
                QStringList l;
                for (const QJsonValue& x : g.toArray())
                    l.append(x.toString());
                return l.join(QStringLiteral(", "));
            };
            teile.append(QStringLiteral("%1: Regel \"%2\" durch %3 und %4")
                             .arg(a.at(0).toString(), a.at(1).toString(), gruppen(a.at(2)), gruppen(a.at(3))));
        }
        return QStringLiteral("die Änderung gäbe unvereinbare Rechte (%1); mit --ausnahme GRUND wird sie als "
                              "Ausnahme gespeichert")
            .arg(teile.join(QStringLiteral("; ")));
    }
    // The server's tag ("<KONFLIKT> …") is for programs, not for people.
    static const QRegularExpression marke(QStringLiteral("^<[^>]*>\\s*"));
    return QString(e.Beschreibung()).remove(marke);
}

QString Zahl(long long n) {
    return QLocale(QLocale::German, QLocale::Germany).toString(n);
}
} // namespace

namespace {

// Runs `work` on an open database of the target inside one transaction.
bool MitDatenbank(const DatenbankZiel& ziel, QTextStream& out, bool anlegen,
                  const std::function<bool(QSqlDatabase&, QString&)>& work) {
    const auto target = ConnectionTarget::parse(ziel.connStrg());
    if (!target) {
        out << "korval-db: ungültige Verbindungsdaten: " << ziel.connStrg() << Qt::endl;
        return false;
    }
    QString reason;
    if (anlegen && !Schema::createDatabase(*target, reason)) {
        out << "korval-db: Datenbank kann nicht angelegt werden: " << reason << Qt::endl;
        return false;
    }
    if (anlegen && target->backend == ConnectionTarget::Backend::Sqlite) {
        // SQLite creates the file on open; Schema::open only opens existing files.
        const QString name = QStringLiteral("korval-db-create");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(target->filePath);
            if (!db.open()) {
                out << "korval-db: " << db.lastError().text() << Qt::endl;
                return false;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    const QString name = QStringLiteral("korval-db-") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = false;
    {
        QSqlDatabase db = Schema::open(*target, name, reason);
        if (!db.isOpen()) {
            out << "korval-db: Datenbank nicht erreichbar: " << reason << Qt::endl;
        } else if (!anlegen && Schema::version(db) < 1) {
            out << "korval-db: die Datenbank hat kein Schema, zuerst 'korval-db init' aufrufen" << Qt::endl;
        } else {
            ok = work(db, reason);
            // The owner's work asked of a role that may not (the workstations').
            if (!ok && reason.contains(QLatin1String("42501")))
                out << "korval-db: diese Datenbankrolle darf das nicht; der Befehl ist Sache des Verwalters der "
                       "Datenbank (PGUSER)."
                    << Qt::endl;
            if (!ok) out << "korval-db: " << reason << Qt::endl;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// Collects rows and writes them in blocks of many rows per statement, each
// block size prepared once; reports the first failure. Rows of a parent table
// are written before the rows that refer to them.
class Einfueger {
  public:
    Einfueger(QSqlDatabase& db, QString kopf, int spalten, QString nachsatz = {}, Einfueger* eltern = nullptr)
        : m_db(db), m_kopf(std::move(kopf)), m_nachsatz(std::move(nachsatz)), m_spalten(spalten),
          m_eltern(eltern) {}

    bool operator()(const QVariantList& werte, QString& reason) {
        for (const QVariant& v : werte)
            // Empty texts are stored as empty texts, not as NULL.
            m_puffer.append(v.typeId() == QMetaType::QString && v.toString().isNull()
                                ? QVariant(QString::fromLatin1(""))
                                : v);
        return m_puffer.size() / m_spalten < Block || Leeren(reason);
    }

    bool Leeren(QString& reason) {
        if (m_eltern && !m_eltern->Leeren(reason)) return false;
        const int zeilen = static_cast<int>(m_puffer.size()) / m_spalten;
        if (zeilen == 0) return true;
        auto it = m_anweisungen.find(zeilen);
        if (it == m_anweisungen.end()) {
            QString zeile =
                QStringLiteral("(") + QStringLiteral("?, ").repeated(m_spalten - 1) + QStringLiteral("?)");
            QStringList alle;
            for (int i = 0; i < zeilen; ++i)
                alle.append(zeile);
            QSqlQuery q(m_db);
            if (!q.prepare(m_kopf + alle.join(QStringLiteral(", ")) + m_nachsatz)) {
                reason = q.lastError().text();
                return false;
            }
            it = m_anweisungen.emplace(zeilen, std::move(q)).first;
        }
        QSqlQuery& q = it->second;
        for (int i = 0; i < m_puffer.size(); ++i)
            q.bindValue(i, m_puffer[i]);
        m_puffer.clear();
        if (!q.exec()) {
            reason = q.lastError().text();
            return false;
        }
        return true;
    }

  private:
    static constexpr int Block = 200;
    QSqlDatabase& m_db;
    QString m_kopf, m_nachsatz;
    int m_spalten;
    Einfueger* m_eltern;
    QVariantList m_puffer;
    std::map<int, QSqlQuery> m_anweisungen;
};

struct Daten {
    Einfueger pers, abt, basis, gruppe, mitglied, programm, recht, kassa, global;
    explicit Daten(QSqlDatabase& db)
        : pers(db,
               QStringLiteral(
                   "INSERT INTO kv_parpersedv (firma, pcode, passwort, aktiv, pname, pnr, abtnr, dw, "
                   "bergrp) VALUES "),
               9),
          abt(db, QStringLiteral("INSERT INTO kv_parpersabt (firma, abtnr, abtbez, habtnr) VALUES "), 4),
          basis(db, QStringLiteral("INSERT INTO kv_persbasis (firma, pnr, fax, email) VALUES "), 4),
          gruppe(db, QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES "), 1),
          mitglied(db, QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES "), 3, {},
                   &gruppe),
          programm(db,
                   QStringLiteral(
                       "INSERT INTO uv_programm (programmname, subprogramm, berechtigungsstufe) VALUES "),
                   3),
          recht(
              db,
              QStringLiteral("INSERT INTO uv_programm_gruppe (programmname, subprogramm, berechtigungsstufe, "
                             "pos, gruppe) VALUES "),
              5, {}, &programm),
          kassa(db,
                QStringLiteral("INSERT INTO kv_kassasw (sys_id, firma, fil, ip, port, namespace, type, "
                               "bezeichnung) VALUES "),
                8),
          global(db, QStringLiteral("INSERT INTO m_global (name, subs, wert) VALUES "), 3,
                 QStringLiteral(" ON CONFLICT (name, subs) DO UPDATE SET wert = excluded.wert")) {}

    // Writes what is still collected; before the transaction ends.
    bool Leeren(QString& reason) {
        for (Einfueger* e : {&pers, &abt, &basis, &gruppe, &mitglied, &programm, &recht, &kassa, &global})
            if (!e->Leeren(reason)) return false;
        return true;
    }
};

bool Leer(QSqlDatabase& db, QString& reason) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM kv_parpersedv")) || !q.next()) {
        reason = q.lastError().text();
        return false;
    }
    if (q.value(0).toInt() > 0) {
        reason = QStringLiteral("die Datenbank enthält schon Mitarbeiter");
        return false;
    }
    return true;
}

// A database made before the change log gets it; one that has it needs no rights to create.
bool LogSicherstellen(QSqlDatabase& db, QString& reason) {
    int erreicht = 0;
    return Schema::logDa(db) || Schema::upgrade(db, reason, erreicht);
}

// Rows written, on standard error while it is a terminal: a long report
// shows that it is still going, a redirected one stays clean.
class Zaehler {
  public:
    Zaehler() : m_terminal(Terminal()) {}
    ~Zaehler() {
        if (m_terminal && m_zeilen >= Schritt)
            std::fprintf(stderr, "\r%s Zeilen geschrieben\n", Zahl(m_zeilen).toUtf8().constData());
    }
    Zaehler(const Zaehler&) = delete;
    Zaehler& operator=(const Zaehler&) = delete;
    void Zeile() {
        if (++m_zeilen % Schritt == 0 && m_terminal) {
            std::fprintf(stderr, "\r%s Zeilen geschrieben …", Zahl(m_zeilen).toUtf8().constData());
            std::fflush(stderr);
        }
    }

  private:
    static constexpr long long Schritt = 100000;
    static bool Terminal() {
#if defined(Q_OS_WIN)
        return _isatty(_fileno(stderr)) != 0;
#else
        return isatty(fileno(stderr)) != 0;
#endif
    }
    bool m_terminal;
    long long m_zeilen = 0;
};

} // namespace

namespace {
// The functions run with their owner's rights: nobody else may create objects
// beside them. Says what it changed.
bool SchemaSchuetzen(QSqlDatabase& db, QTextStream& out, QString& reason) {
    if (!Schema::isPostgres(db)) return true;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT quote_ident(current_schema()), "
                               "has_schema_privilege('public', current_schema(), 'CREATE')")) ||
        !q.next()) {
        reason = q.lastError().text();
        return false;
    }
    if (!q.value(1).toBool()) return true;
    const QString schema = q.value(0).toString();
    if (!q.exec(QStringLiteral("REVOKE CREATE ON SCHEMA %1 FROM PUBLIC").arg(schema))) {
        reason = q.lastError().databaseText().trimmed();
        return false;
    }
    out << "Im Schema " << schema << " darf nicht mehr jeder Datenbankbenutzer Objekte anlegen." << Qt::endl;
    return true;
}
QString Bezeichner(QString name) {
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// PostgreSQL: the tables, the log and the functions belong to a role without
// login; the workstations' role (a member of the group role) may read all
// but the passwords and sessions and changes permissions only through the
// functions, which check who is signed on. Says what it changed.
bool RollenEinrichten(QSqlDatabase& db, const QString& anwendungsrolle, QTextStream& out, QString& reason) {
    if (!Schema::isPostgres(db)) return true;
    QStringList gesagt;
    const bool ok = Schema::transaktion(db, reason, [&] {
        QSqlQuery q(db);
        auto sql = [&](const QString& s) {
            if (q.exec(s)) return true;
            reason = q.lastError().databaseText().trimmed();
            return false;
        };
        if (!sql(QStringLiteral("SELECT %1, %2, current_user, quote_ident(current_schema()), "
                                "quote_ident(current_database()), (SELECT rolsuper FROM pg_roles WHERE rolname = "
                                "current_user)")
                     .arg(Schema::eigentuemerrolleSql(), Schema::anwendungsrolleSql())) ||
            !q.next())
            return false;
        const QString eigner = q.value(0).toString(), gruppe = q.value(1).toString(), ich = q.value(2).toString();
        const QString schema = q.value(3).toString(), datenbank = q.value(4).toString();
        const bool superuser = q.value(5).toBool();
        if (!anwendungsrolle.isEmpty() && anwendungsrolle == ich) {
            reason = QStringLiteral("Die Anwendungsrolle %1 ist die Rolle, mit der korval-db angemeldet ist; die "
                                    "Arbeitsplätze brauchen eine eigene Rolle ohne Rechte an den Tabellen.")
                         .arg(ich);
            return false;
        }
        auto rolle = [&](const QString& name, bool& anmelden) {
            q.prepare(QStringLiteral("SELECT rolcanlogin FROM pg_roles WHERE rolname = ?"));
            q.addBindValue(name);
            if (!q.exec()) {
                reason = q.lastError().databaseText().trimmed();
                return -1;
            }
            if (!q.next()) return 0;
            anmelden = q.value(0).toBool();
            return 1;
        };
        bool anmelden = false;
        int da = rolle(eigner, anmelden);
        if (da < 0) return false;
        if (da == 0) {
            if (!sql(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(Bezeichner(eigner)))) return false;
            gesagt << QStringLiteral("Eigentümerrolle %1 angelegt (ohne Anmeldung).").arg(eigner);
        } else if (anmelden) {
            reason = QStringLiteral("Die Rolle %1 kann sich anmelden; als Eigentümer der Tabellen und Funktionen "
                                    "darf sie das nicht (ALTER ROLE %1 NOLOGIN).")
                         .arg(eigner);
            return false;
        }
        if (!superuser && !sql(QStringLiteral("SELECT pg_has_role(current_user, %1, 'MEMBER')")
                                   .arg(Schema::eigentuemerrolleSql())))
            return false;
        if (!superuser && q.next() && !q.value(0).toBool() &&
            !sql(QStringLiteral("GRANT %1 TO %2").arg(Bezeichner(eigner), Bezeichner(ich))))
            return false;
        if (!sql(QStringLiteral("GRANT USAGE, CREATE ON SCHEMA %1 TO %2").arg(schema, Bezeichner(eigner))))
            return false;
        // The tables (their sequences and indexes go along) and the functions.
        QStringList tabellen, fremd;
        if (!sql(QStringLiteral("SELECT c.relname, pg_get_userbyid(c.relowner) FROM pg_class c WHERE c.relkind = 'r' "
                                "AND c.relnamespace = current_schema()::regnamespace AND c.relname ~ '^(kv|uv|m)_' "
                                "ORDER BY c.relname")))
            return false;
        while (q.next()) {
            tabellen << q.value(0).toString();
            if (q.value(1).toString() != eigner) fremd << q.value(0).toString();
        }
        for (const QString& t : fremd)
            if (!sql(QStringLiteral("ALTER TABLE %1 OWNER TO %2").arg(Bezeichner(t), Bezeichner(eigner)))) return false;
        if (!fremd.isEmpty())
            gesagt << QStringLiteral("%1 Tabellen gehören jetzt %2.").arg(fremd.size()).arg(eigner);
        if (!sql(QStringLiteral("SELECT p.oid::regprocedure::text FROM pg_proc p WHERE p.proname LIKE 'uv\\_%' AND "
                                "p.pronamespace = current_schema()::regnamespace AND "
                                "pg_get_userbyid(p.proowner) <> %1")
                     .arg(Schema::eigentuemerrolleSql())))
            return false;
        QStringList funktionen;
        while (q.next())
            funktionen << q.value(0).toString();
        for (const QString& f : funktionen)
            if (!sql(QStringLiteral("ALTER FUNCTION %1 OWNER TO %2").arg(f, Bezeichner(eigner)))) return false;
        if (!funktionen.isEmpty())
            gesagt << QStringLiteral("%1 Funktionen gehören jetzt %2.").arg(funktionen.size()).arg(eigner);
        // The group role: reading, the sessions' own tables, the entry points.
        da = rolle(gruppe, anmelden);
        if (da < 0) return false;
        if (da == 0) {
            if (!sql(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(Bezeichner(gruppe)))) return false;
            gesagt << QStringLiteral("Gruppenrolle %1 der Arbeitsplätze angelegt.").arg(gruppe);
        }
        const QString g = Bezeichner(gruppe);
        for (const QString& t : tabellen) {
            if (!sql(QStringLiteral("REVOKE ALL ON %1 FROM PUBLIC, %2").arg(Bezeichner(t), g))) return false;
            if (t == QLatin1String("uv_sitzung") || t == QLatin1String("uv_rz_plaene")) continue;
            if (t == QLatin1String("kv_parpersedv")) {
                // Every column but the password.
                if (!sql(QStringLiteral("SELECT string_agg(quote_ident(attname), ', ' ORDER BY attnum) FROM pg_attribute "
                                        "WHERE attrelid = 'kv_parpersedv'::regclass AND attnum > 0 AND NOT "
                                        "attisdropped AND attname <> 'passwort'")) ||
                    !q.next())
                    return false;
                if (!sql(QStringLiteral("GRANT SELECT (%1) ON kv_parpersedv TO %2").arg(q.value(0).toString(), g)))
                    return false;
                continue;
            }
            const bool schreiben = t == QLatin1String("m_global") || t == QLatin1String("m_sitzung");
            if (!sql(QStringLiteral("GRANT SELECT%1 ON %2 TO %3")
                         .arg(schreiben ? QStringLiteral(", INSERT, UPDATE, DELETE") : QString(), Bezeichner(t), g)))
                return false;
        }
        for (const QString& f : Schema::einstiege())
            if (!sql(QStringLiteral("DO $$ DECLARE r record; BEGIN FOR r IN SELECT p.oid::regprocedure AS f FROM "
                                    "pg_proc p WHERE p.proname = '%1' AND p.pronamespace = "
                                    "current_schema()::regnamespace LOOP EXECUTE format('GRANT EXECUTE ON FUNCTION "
                                    "%s TO %I', r.f, %2); END LOOP; END $$")
                         .arg(f, Schema::anwendungsrolleSql())))
                return false;
        if (!sql(QStringLiteral("SELECT has_database_privilege('public', current_database(), 'CONNECT')")) ||
            !q.next())
            return false;
        if (q.value(0).toBool()) {
            if (!sql(QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2, %3").arg(datenbank, g, Bezeichner(ich))) ||
                !sql(QStringLiteral("REVOKE CONNECT ON DATABASE %1 FROM PUBLIC").arg(datenbank)))
                return false;
            gesagt << QStringLiteral("Verbinden mit der Datenbank dürfen nur noch die Rollen, denen es gewährt ist.");
        } else if (!sql(QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2").arg(datenbank, g))) {
            return false;
        }
        if (anwendungsrolle.isEmpty()) return true;
        da = rolle(anwendungsrolle, anmelden);
        if (da < 0) return false;
        const QString a = Bezeichner(anwendungsrolle);
        if (da == 0) {
            if (!sql(QStringLiteral("CREATE ROLE %1 LOGIN").arg(a))) return false;
            gesagt << QStringLiteral("Anwendungsrolle %1 angelegt, noch ohne Passwort (ALTER ROLE %1 PASSWORD …).")
                          .arg(anwendungsrolle);
        }
        // A role above the rules would make them pointless.
        if (!sql(QStringLiteral("SELECT rolsuper OR pg_has_role(rolname, %1, 'USAGE') FROM pg_roles WHERE rolname = '%2'")
                     .arg(Schema::eigentuemerrolleSql(), QString(anwendungsrolle).replace(QLatin1Char('\''),
                                                                                           QStringLiteral("''")))) ||
            !q.next())
            return false;
        if (q.value(0).toBool()) {
            reason = QStringLiteral("Die Anwendungsrolle %1 ist Superuser oder darf als %2 handeln; die Arbeitsplätze "
                                    "brauchen eine Rolle ohne diese Rechte.")
                         .arg(anwendungsrolle, eigner);
            return false;
        }
        if (!sql(QStringLiteral("SELECT pg_has_role('%1', %2, 'MEMBER')")
                     .arg(QString(anwendungsrolle).replace(QLatin1Char('\''), QStringLiteral("''")),
                          Schema::anwendungsrolleSql())) ||
            !q.next())
            return false;
        if (q.value(0).toBool()) return true;
        if (!sql(QStringLiteral("GRANT %1 TO %2").arg(g, a))) return false;
        gesagt << QStringLiteral("Die Anwendungsrolle %1 liest die Tabellen und ändert Berechtigungen nur über die "
                                 "Funktionen.")
                      .arg(anwendungsrolle);
        return true;
    });
    if (ok)
        for (const QString& z : gesagt)
            out << z << Qt::endl;
    return ok;
}

// Whether the database's tables belong to its owner role already.
bool Gesichert(QSqlDatabase& db) {
    QSqlQuery q(db);
    return Schema::isPostgres(db) &&
           q.exec(QStringLiteral("SELECT pg_get_userbyid(c.relowner) = %1 FROM pg_class c WHERE c.oid = "
                                 "to_regclass('kv_schema')")
                      .arg(Schema::eigentuemerrolleSql())) &&
           q.next() && q.value(0).toBool();
}
} // namespace

bool Init(const DatenbankZiel& ziel, QTextStream& out) {
    const bool ok = MitDatenbank(ziel, out, true, [&](QSqlDatabase& db, QString& reason) {
        if (Schema::isPostgres(db)) {
            // A server that does not wait for the disk loses commits already reported on a crash.
            QSqlQuery q(db);
            for (const char* setting : {"fsync", "synchronous_commit"})
                if (q.exec(QStringLiteral("SHOW %1").arg(QString::fromLatin1(setting))) && q.next() &&
                    q.value(0).toString() == QLatin1String("off"))
                    out << "Warnung: der Server läuft mit " << setting
                        << "=off; gespeicherte Änderungen können bei einem Absturz verloren gehen." << Qt::endl;
        }
        return SchemaSchuetzen(db, out, reason) && Schema::create(db, reason) &&
               RollenEinrichten(db, ziel.anwendungsrolle, out, reason);
    });
    if (ok)
        out << "Schema Version " << Schema::Version << " in " << ziel.connStrg() << " angelegt." << Qt::endl;
    return ok;
}

bool Upgrade(const DatenbankZiel& ziel, QTextStream& out) {
    int von = -1, erreicht = -1;
    auto funktionen = Schema::Funktionen::Aktuell;
    const bool ok = MitDatenbank(ziel, out, false, [&](QSqlDatabase& db, QString& reason) {
        QString fehler, bekannt;
        von = Schema::version(db, fehler, &bekannt);
        if (!Schema::upgrade(db, reason, erreicht, von)) return false;
        if (!Schema::isPostgres(db)) return true;
        // A step may have added the fingerprint's column: read it again.
        if (von != erreicht) Schema::version(db, fehler, &bekannt);
        if (!SchemaSchuetzen(db, out, reason)) return false;
        funktionen = Schema::funktionenAbgleichen(db, bekannt, reason);
        if (funktionen == Schema::Funktionen::Fehlen) return false;
        // A secured database keeps its roles right (a new table, new
        // functions); one not yet secured is secured once the workstations'
        // role is named.
        if (!ziel.anwendungsrolle.isEmpty() || Gesichert(db))
            return RollenEinrichten(db, ziel.anwendungsrolle, out, reason);
        out << "Die Datenbank ist nicht gesichert: wer sich mit der Rolle der Arbeitsplätze anmeldet, kann "
               "Berechtigungen und das Änderungsprotokoll an den Funktionen vorbei ändern. Sichern mit "
               "\"korval-db upgrade --anwendungsrolle NAME\"."
            << Qt::endl;
        return true;
    });
    if (ok && von == erreicht)
        out << "Schema Version " << erreicht << " in " << ziel.connStrg() << " ist aktuell." << Qt::endl;
    else if (ok)
        out << "Schema in " << ziel.connStrg() << " von Version " << von << " auf " << erreicht << " gebracht."
            << Qt::endl;
    if (ok && funktionen == Schema::Funktionen::Erneuert)
        out << "Funktionen erneuert (" << Schema::funktionen().size() << " Anweisungen)." << Qt::endl;
    return ok;
}

namespace {
bool NameGueltig(const QString& n) {
    return !n.isEmpty() && !n.contains(QLatin1String("||")) && !n.startsWith(QLatin1Char('|')) &&
           !n.endsWith(QLatin1Char('|')) && !n.contains(QChar(0));
}

QString CodeGespeichert(const QString& code);

// Connected, and for a command that changes permissions signed on as the
// administrator --als names (the log names that user); else why not.
CacheFactoryPtr Verbinden(const DatenbankZiel& ziel, QTextStream& fehler, bool anmelden = false) {
    CacheFactoryPtr f = NeueCacheFactory();
    if (!f->Connect(ziel.connStrg())) {
        fehler << "korval-db: keine Verbindung: " << f->LetzterFehler() << Qt::endl;
        return nullptr;
    }
    if (!anmelden) return f;
    if (ziel.als.isEmpty()) {
        fehler << "korval-db: dieser Befehl ändert Berechtigungen und braucht --als CODE, einen Verwalter "
                  "(Passwort aus KORVAL_PASSWORT oder vom Terminal); nichts gespeichert"
               << Qt::endl;
        return nullptr;
    }
    try {
        const QString code = CodeGespeichert(ziel.als);
        CacheObjektPtr k = f->Klassenmethoden(QStringLiteral("KV.ParPersEdv"));
        if (k->Methode(QStringLiteral("Anmeldedaten"), {ziel.firma, code, ziel.passwort}) != QLatin1String("1")) {
            fehler << "korval-db: Anmeldung als " << ziel.als << " in Firma " << ziel.firma
                   << " abgelehnt (Passwort falsch oder Benutzer nicht aktiv); nichts gespeichert" << Qt::endl;
            return nullptr;
        }
        const auto& wer = static_cast<SqlCacheFactory&>(*f).angemeldet();
        // Exceptions to the rules of incompatible rights only with a reason given.
        static_cast<SqlCacheFactory&>(*f).setAusnahmeDauerhaft(ziel.ausnahme);
        if (!wer || !wer->verwalter) {
            fehler << "korval-db: " << ziel.als
                   << " darf die Benutzerverwaltung nicht verwenden (Berechtigungsgruppe unter 8); nichts gespeichert"
                   << Qt::endl;
            return nullptr;
        }
    } catch (const CacheFehler& e) {
        fehler << "korval-db: Anmeldung als " << ziel.als << " nicht möglich: " << Meldung(e) << Qt::endl;
        return nullptr;
    }
    return f;
}

// A personal code as the program stores and compares it: upper-case (ß
// stays ß) in the server's 7-bit form.
QString CodeGespeichert(const QString& code) {
    QString gross;
    for (const QChar c : code)
        gross += c == QChar(0xDF) ? QString(c) : QString(c).toUpper();
    return Siebenbit(gross);
}

// Whether a code is known: an employee record of the company, or a member of a group.
bool CodeBekannt(CacheFactory& f, const QString& firma, const QString& code) {
    return !static_cast<SqlCacheFactory&>(f)
                .select(QStringLiteral("SELECT 1 FROM kv_parpersedv WHERE firma = ? AND pcode = ? UNION ALL "
                                       "SELECT 1 FROM uv_gruppen_pcode WHERE pcode = ?"),
                        {firma, code, code}, 1)
                .empty();
}

// The code as group lists store it: as typed when that is known (department
// entries are lower-case), else as the program stores what is typed; "" when
// neither is. Group lists hold codes as the window shows them (ÄRZ), employee
// records in the 7-bit form ([RZ).
QString CodeAufloesen(CacheFactory& f, const QString& firma, const QString& eingabe) {
    if (eingabe.isEmpty()) return {};
    if (sevenBitToDisplay(eingabe) == eingabe && CodeBekannt(f, firma, eingabe)) return eingabe;
    const QString gespeichert = CodeGespeichert(eingabe), fenster = sevenBitToDisplay(gespeichert);
    return CodeBekannt(f, firma, gespeichert) || CodeBekannt(f, firma, fenster) ? fenster : QString();
}

bool Unbekannt(const QString& code, const QString& eingabe, const QString& firma, QTextStream& fehler) {
    if (!code.isEmpty()) return false;
    fehler << "korval-db: Mitarbeiter " << eingabe << " ist in Firma " << firma << " nicht bekannt; nichts gespeichert"
           << Qt::endl;
    return true;
}

// Whether a group is known: its record, or a level that grants the name.
bool GruppeBekannt(CacheFactory& f, const QString& gruppe) {
    return !static_cast<SqlCacheFactory&>(f)
                .select(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = ? UNION ALL "
                                       "SELECT 1 FROM uv_programm_gruppe WHERE gruppe = ?"),
                        {gruppe, gruppe}, 1)
                .empty();
}

bool StufeBekannt(CacheFactory& f, const QStringList& stufe) {
    return !static_cast<SqlCacheFactory&>(f)
                .select(QStringLiteral("SELECT 1 FROM uv_programm WHERE programmname = ? AND subprogramm = ? AND "
                                       "berechtigungsstufe = ?"),
                        {stufe.value(0), stufe.value(1), stufe.value(2)}, 1)
                .empty();
}
} // namespace

int Rueckgaengig(const DatenbankZiel& ziel, const QString& nr, bool ja, QTextStream& out, QTextStream& fehler) {
    bool zahl = false;
    if (nr.toLongLong(&zahl) <= 0 || !zahl) {
        fehler << "korval-db: \"" << nr << "\" ist keine Nummer eines Eintrags im Änderungsprotokoll" << Qt::endl;
        return 2;
    }
    // Only taking back needs a sign-on; the preview does not.
    CacheFactoryPtr f = Verbinden(ziel, fehler, ja);
    if (!f) return 2;
    auto aufrufen = [&](const QString& marke) {
        CacheObjektPtr k = f->Klassenmethoden(QStringLiteral("UserVerwaltung.Protokoll"));
        return QJsonDocument::fromJson(k->Methode(QStringLiteral("Rueckgaengig"), {nr, marke}).toUtf8()).object();
    };
    try {
        const QJsonObject plan = aufrufen(QString());
        const QJsonArray schritte = plan.value(QStringLiteral("plan")).toArray();
        if (::Rueckgaengig::PlanNurGeloescht(schritte)) {
            out << "Was Änderung Nr. " << nr << " geändert hat, wurde inzwischen gelöscht; nichts zu tun.\n"
                << ::Rueckgaengig::PlanText(schritte, 0) << Qt::endl;
            return 1;
        }
        if (::Rueckgaengig::PlanLeer(schritte) && ::Rueckgaengig::PlanUeberholt(schritte)) {
            out << "Änderung Nr. " << nr << " lässt sich nicht mehr zurücknehmen; nichts zu tun.\n"
                << ::Rueckgaengig::PlanText(schritte, 0) << Qt::endl;
            return 1;
        }
        if (::Rueckgaengig::PlanLeer(schritte)) {
            out << "Änderung Nr. " << nr << " ist bereits zurückgenommen; nichts zu tun." << Qt::endl;
            return 1;
        }
        out << "Änderung Nr. " << nr << " rückgängig machen:\n"
            << ::Rueckgaengig::Vorschau(schritte, plan.value(QStringLiteral("befristungen")).toArray(), 0) << Qt::endl;
        if (!ja) {
            out << "Nichts gespeichert; mit --ja wird die Änderung zurückgenommen." << Qt::endl;
            return 0;
        }
        const QJsonObject ergebnis = aufrufen(plan.value(QStringLiteral("marke")).toString());
        if (!ergebnis.value(QStringLiteral("gespeichert")).toBool()) {
            fehler << "korval-db: die Datensätze wurden eben geändert; nichts gespeichert, bitte erneut aufrufen"
                   << Qt::endl;
            return 1;
        }
        out << "Zurückgenommen." << Qt::endl;
        return 0;
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << "; nichts gespeichert" << Qt::endl;
        return e.Nummer() == Fehlernummer::UngueltigerWert || e.Nummer() == Fehlernummer::Unvereinbar ? 2 : 1;
    }
}


int GruppeKopieren(const DatenbankZiel& ziel, const QString& quelle, const QString& neu, bool mitglieder, bool stufen,
                   QTextStream& out, QTextStream& fehler) {
    if (!NameGueltig(neu) || quelle.isEmpty()) {
        fehler << "korval-db: \"" << neu
               << "\" ist kein zulässiger Gruppenname (nicht leer, ohne \"||\", nicht mit \"|\" am Anfang oder Ende)"
               << Qt::endl;
        return 2;
    }
    CacheFactoryPtr f = Verbinden(ziel, fehler, true);
    if (!f) return 2;
    try {
        CacheObjektPtr k = f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"));
        const QJsonObject r =
            QJsonDocument::fromJson(k->Methode(QStringLiteral("Kopieren"),
                                               {quelle, neu, mitglieder ? QStringLiteral("1") : QStringLiteral("0"),
                                                stufen ? QStringLiteral("1") : QStringLiteral("0")})
                                        .toUtf8())
                .object();
        out << "Gruppe " << neu << " als Kopie von " << quelle << " angelegt: "
            << Zahl(r.value(QStringLiteral("mitglieder")).toInt()) << " Mitglieder, " << Zahl(r.value(QStringLiteral("stufen")).toInt())
            << " Programmstufen." << Qt::endl;
        return 0;
    } catch (const CacheFehler& e) {
        if (e.Nummer() == Fehlernummer::ObjektFehlt)
            fehler << "korval-db: die Gruppe " << quelle << " besteht nicht" << Qt::endl;
        else
            fehler << "korval-db: " << Meldung(e) << Qt::endl;
        return e.Nummer() == Fehlernummer::KonfliktVorhanden || e.Nummer() == Fehlernummer::ObjektFehlt ||
                       e.Nummer() == Fehlernummer::UngueltigeId
                   ? 2
                   : 1;
    }
}

int RechteUebernehmen(const DatenbankZiel& ziel, const QString& firma, const QString& vonEingabe,
                      const QString& nachEingabe, QTextStream& out, QTextStream& fehler) {
    if (vonEingabe.isEmpty() || nachEingabe.isEmpty() || vonEingabe == nachEingabe || nachEingabe.contains(QChar(0))) {
        fehler << "korval-db: --von und --nach brauchen zwei verschiedene Personalcodes" << Qt::endl;
        return 2;
    }
    CacheFactoryPtr f = Verbinden(ziel, fehler, true);
    if (!f) return 2;
    const QString von = CodeAufloesen(*f, firma, vonEingabe), nach = CodeAufloesen(*f, firma, nachEingabe);
    if (Unbekannt(von, vonEingabe, firma, fehler) || Unbekannt(nach, nachEingabe, firma, fehler)) return 2;
    if (von == nach) {
        fehler << "korval-db: --von und --nach brauchen zwei verschiedene Personalcodes" << Qt::endl;
        return 2;
    }
    const QString klasse = QStringLiteral("UserVerwaltung.Gruppen");
    // The same overview the program reads: groups ("G") and levels ("S") of a code.
    auto lesen = [&](const QString& code, QStringList& gruppen, std::vector<std::pair<QString, QString>>& stufen) {
        CacheAbfragePtr q = f->Abfrage(klasse, QStringLiteral("Uebersicht"));
        q->Ausfuehren({firma, code, QString(), QString(), QString(), QString()});
        while (q->Naechste()) {
            if (q->Spalte(1) == QLatin1String("G"))
                gruppen.append(q->Spalte(2));
            else if (q->Spalte(1) == QLatin1String("S"))
                stufen.emplace_back(q->Spalte(2), q->Spalte(5) + QStringLiteral("||") + q->Spalte(6) +
                                                      QStringLiteral("||") + q->Spalte(7));
        }
        q->sys_close();
        gruppen.sort();
    };
    try {
        QStringList gv, gn;
        std::vector<std::pair<QString, QString>> sv, sn;
        lesen(von, gv, sv);
        lesen(nach, gn, sn);
        const Uebernahme::Plan plan = Uebernahme::Berechnen(gv, gn, sv, sn);
        if (plan.gruppen.isEmpty()) {
            out << nach << " ist bereits in allen Gruppen von " << von << "; nichts zu tun." << Qt::endl;
            return 1;
        }
        f->TransaktionBeginnen();
        try {
            for (const QString& g : plan.gruppen) {
                CacheObjektPtr o = f->OpenId(klasse, g);
                SysListPtr geladen = std::make_shared<SysList>(*o->Liste(QStringLiteral("PCODE")));
                o->sys_close();
                CacheObjektPtr k = f->Klassenmethoden(klasse);
                // Locks the group and compares: what was read is what is saved over.
                k->Methode(QStringLiteral("ListePruefen"), {g, geladen});
                SysListPtr neu = std::make_shared<SysList>(*geladen);
                neu->Append(nach);
                k->Methode(QStringLiteral("SaveCodes"), {g, neu});
            }
            f->TransaktionBestaetigen();
        } catch (...) {
            f->TransaktionZuruecknehmen();
            throw;
        }
        out << nach << " ist jetzt auch Mitglied in: " << plan.gruppen.join(QStringLiteral(", ")) << " ("
            << Zahl(plan.neueStufen) << " Programmstufen hinzu)." << Qt::endl;
        return 0;
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << (Meldung(e).endsWith(QLatin1Char('.')) ? " " : "; ")
               << "Es wurde nichts gespeichert." << Qt::endl;
        return e.Nummer() == Fehlernummer::Unvereinbar ? 2 : 1;
    }
}

int Vergleich(const DatenbankZiel& ziel, const QString& firma, const QString& eingabe1, const QString& eingabe2,
              QTextStream& out, QTextStream& fehler) {
    if (eingabe1.isEmpty() || eingabe2.isEmpty() || eingabe1 == eingabe2) {
        fehler << "korval-db: report vergleich braucht zwei verschiedene Personalcodes" << Qt::endl;
        return 2;
    }
    CacheFactoryPtr f = Verbinden(ziel, fehler);
    if (!f) return 1;
    const QString code1 = CodeAufloesen(*f, firma, eingabe1), code2 = CodeAufloesen(*f, firma, eingabe2);
    if (Unbekannt(code1, eingabe1, firma, fehler) || Unbekannt(code2, eingabe2, firma, fehler)) return 2;
    if (code1 == code2) {
        fehler << "korval-db: report vergleich braucht zwei verschiedene Personalcodes" << Qt::endl;
        return 2;
    }
    try {
        CacheAbfragePtr q = f->Abfrage(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Vergleich"));
        q->Ausfuehren({firma, code1, code2});
        out << Csv::Anfang()
            << Csv::Zeile({QStringLiteral("Vergleich"), QStringLiteral("Code"), QStringLiteral("Name"),
                           QStringLiteral("Gruppe"), QStringLiteral("Programm"), QStringLiteral("Unterprogramm"),
                           QStringLiteral("Stufe")});
        std::vector<QStringList> zeilen;
        while (q->Naechste()) {
            QStringList zeile;
            for (int i = 1; i <= 6; ++i)
                zeile.append(q->Spalte(i));
            zeilen.push_back(zeile);
        }
        q->sys_close();
        Vergleichszeilen::Einordnen(zeilen, code1);
        for (const QStringList& z : zeilen)
            out << Csv::Zeile(z);
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << Qt::endl;
        return 1;
    }
    out.flush();
    return 0;
}

bool Demo(const DatenbankZiel& ziel, QTextStream& out) {
    const bool ok = MitDatenbank(ziel, out, false, [&](QSqlDatabase& db, QString& reason) {
        if (!Leer(db, reason)) return false;
        return Schema::transaktion(db, reason, [&] {
            Daten d(db);
            const QString f = QStringLiteral("1");
            struct Person {
                const char16_t *code, *pw, *aktiv, *name, *pnr, *abt, *dw, *grp;
            };
            const Person personen[] = {
                {u"ADM", u"demo", u"J", u"Verwalter Anton", u"1000", u"10", u"100", u"9"},
                {u"USR", u"user", u"J", u"Schröder Petra", u"1001", u"20", u"201", u"5"},
                {u"INA", u"alt", u"N", u"Weiß Inge", u"1002", u"20", u"202", u"5"},
                {u"MUE", u"m1", u"J", u"Müller Hans", u"1003", u"20", u"203", u"3"},
                {u"GRO", u"g1", u"J", u"Groß Jürgen Karl", u"1004", u"30", u"301", u"3"},
                {u"BAE", u"b1", u"J", u"Bär Maria", u"1005", u"20", u"204", u"4"},
                {u"OEZ", u"o1", u"J", u"Özdemir Ayşe", u"1006", u"30", u"302", u"3"},
                {u"SOM", u"s1", u"J", u"Sommer Klaus", u"1007", u"10", u"101", u"8"},
                {u"s10", u"", u"J", u"Verwaltung", u"9010", u"10", u"", u"0"},
                {u"s20", u"", u"J", u"Verkauf", u"9020", u"20", u"", u"0"},
                {u"s30", u"", u"J", u"Lager", u"9030", u"30", u"", u"0"},
            };
            for (const Person& p : personen) {
                const QString name = Siebenbit(QString::fromUtf16(p.name));
                if (!d.pers({f, QString::fromUtf16(p.code), QString::fromUtf16(p.pw),
                             QString::fromUtf16(p.aktiv), name, QString::fromUtf16(p.pnr),
                             QString::fromUtf16(p.abt), QString::fromUtf16(p.dw), QString::fromUtf16(p.grp)},
                            reason))
                    return false;
                const QString mail = QString::fromUtf16(p.code).toLower() + QStringLiteral("@demo.example");
                if (!d.basis({f, QString::fromUtf16(p.pnr),
                              QStringLiteral("0711 4711-9") + QString::fromUtf16(p.dw), mail},
                             reason))
                    return false;
            }
            const QStringList abt[] = {
                {QStringLiteral("10"), QStringLiteral("Geschäftsführung"), QStringLiteral("10")},
                {QStringLiteral("20"), QStringLiteral("Verkauf Süd"), QStringLiteral("10")},
                {QStringLiteral("30"), QStringLiteral("Lager und Versand"), QStringLiteral("10")}};
            for (const QStringList& a : abt)
                if (!d.abt({f, a[0], Siebenbit(a[1]), a[2]}, reason)) return false;
            const QList<QStringList> gruppen = {
                {QStringLiteral("Verwaltung"), QStringLiteral("ADM"), QStringLiteral("SOM")},
                {QStringLiteral("Verkauf"), QStringLiteral("USR"), QStringLiteral("BAE"),
                 QStringLiteral("MUE")},
                {QStringLiteral("Lager"), QStringLiteral("GRO"), QStringLiteral("OEZ")},
                {QStringLiteral("Revision")}};
            for (const QStringList& g : gruppen) {
                if (!d.gruppe({g.front()}, reason)) return false;
                for (int i = 1; i < g.size(); ++i)
                    if (!d.mitglied({g.front(), i, g[i]}, reason)) return false;
            }
            const QList<QStringList> rechte = {
                {QStringLiteral("Auftrag"), QStringLiteral("Erfassen"), QStringLiteral("1"),
                 QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")},
                {QStringLiteral("Auftrag"), QStringLiteral("Erfassen"), QStringLiteral("2"),
                 QStringLiteral("Verwaltung")},
                {QStringLiteral("Auftrag"), QStringLiteral("Drucken"), QStringLiteral("1"),
                 QStringLiteral("Verkauf")},
                {QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("1"),
                 QStringLiteral("Lager"), QStringLiteral("Verkauf")},
                {QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("2"),
                 QStringLiteral("Lager")},
                {QStringLiteral("Lager"), QStringLiteral("Inventur"), QStringLiteral("1"),
                 QStringLiteral("Lager")},
                {QStringLiteral("Finanzen"), QStringLiteral("Buchen"), QStringLiteral("1"),
                 QStringLiteral("Verwaltung")},
                {QStringLiteral("Benutzerverwaltung"), QStringLiteral("Start"), QStringLiteral("9"),
                 QStringLiteral("Verwaltung")},
            };
            for (const QStringList& r : rechte) {
                if (!d.programm({r[0], r[1], r[2]}, reason)) return false;
                for (int i = 3; i < r.size(); ++i)
                    if (!d.recht({r[0], r[1], r[2], i - 2, r[i]}, reason)) return false;
            }
            const QList<QVariantList> kassen = {
                {1, f, QStringLiteral("0"), ziel.server, ziel.port, ziel.ns, 0,
                 QStringLiteral("Zentrale (Demo)")},
                {2, f, QStringLiteral("1"), QStringLiteral("localhost"), QStringLiteral("5432"),
                 QStringLiteral("KORVAL"), 0, QStringLiteral("Filiale Nord (PostgreSQL)")},
                {3, QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("korval-test"),
                 QStringLiteral("1973"), QStringLiteral("TEST"), 1, QStringLiteral("Testsystem")},
            };
            for (const QVariantList& k : kassen)
                if (!d.kassa(k, reason)) return false;
            return d.global({QStringLiteral("FA"), QStringLiteral("0"), QStringLiteral("Demo GmbH`2026`EUR")},
                            reason) &&
                   d.Leeren(reason);
        });
    });
    if (ok) out << "Demodaten in " << ziel.connStrg() << " angelegt (Anmeldung: 1 0 ADM demo)." << Qt::endl;
    return ok;
}

bool Generieren(const DatenbankZiel& ziel, const GenerierParameter& p, QTextStream& out) {
    QElapsedTimer uhr;
    uhr.start();
    const bool ok = MitDatenbank(ziel, out, false, [&](QSqlDatabase& db, QString& reason) {
        if (!Leer(db, reason)) return false;
        return Schema::transaktion(db, reason, [&] {
            Daten d(db);
            std::mt19937 zufall(p.seed);
            const QString f = QStringLiteral("1");
            const QStringList vornamen = {QStringLiteral("Anna"),  QStringLiteral("Jürgen"),
                                          QStringLiteral("Eva"),   QStringLiteral("Björn"),
                                          QStringLiteral("Käthe"), QStringLiteral("Paul"),
                                          QStringLiteral("Lena"),  QStringLiteral("Uwe")};
            const QStringList nachnamen = {QStringLiteral("Müller"), QStringLiteral("Schröder"),
                                           QStringLiteral("Weiß"),   QStringLiteral("Bauer"),
                                           QStringLiteral("Groß"),   QStringLiteral("Öztürk"),
                                           QStringLiteral("Klein"),  QStringLiteral("Wagner")};
            auto fortschritt = [&](const char* was, qint64 n, qint64 von) {
                if (n % 5000 == 0 || n == von) out << "\r" << was << ": " << Zahl(n) << " von " << Zahl(von) << Qt::flush;
                if (n == von) out << Qt::endl;
            };
            if (!d.pers({f, QStringLiteral("ADM"), QStringLiteral("demo"), QStringLiteral("J"),
                         QStringLiteral("Verwalter Anton"), QStringLiteral("1"), QStringLiteral("10"),
                         QStringLiteral("100"), QStringLiteral("9")},
                        reason) ||
                !d.basis({f, QStringLiteral("1"), QString(), QStringLiteral("adm@demo.example")}, reason) ||
                !d.abt({f, QStringLiteral("10"), QStringLiteral("Verwaltung"), QStringLiteral("10")},
                       reason) ||
                !d.global({QStringLiteral("FA"), QStringLiteral("0"), QStringLiteral("Gro~ GmbH`2026")},
                          reason) ||
                !d.kassa({1, f, QStringLiteral("0"), ziel.server, ziel.port, ziel.ns, 0,
                          QStringLiteral("Zentrale")},
                         reason))
                return false;
            QStringList codes;
            codes.reserve(p.mitarbeiter);
            for (int i = 1; i <= p.mitarbeiter; ++i) {
                const QString code = QStringLiteral("M%1").arg(i, 5, 10, QLatin1Char('0'));
                codes.append(code);
                const QString name = Siebenbit(nachnamen[static_cast<int>(zufall() % 8)] + QLatin1Char(' ') +
                                               vornamen[static_cast<int>(zufall() % 8)]);
                if (!d.pers({f, code, QStringLiteral("pw%1").arg(i), QStringLiteral("J"), name,
                             QString::number(100000 + i), QStringLiteral("10"), QString(),
                             QStringLiteral("3")},
                            reason))
                    return false;
                fortschritt("Mitarbeiter", i, p.mitarbeiter);
            }
            QStringList gruppen;
            for (int g = 1; g <= p.gruppen; ++g) {
                const QString name = QStringLiteral("Gruppe %1").arg(g, 4, 10, QLatin1Char('0'));
                gruppen.append(name);
                if (!d.gruppe({name}, reason)) return false;
                // The first group is the largest; the others draw their size.
                const int n =
                    g == 1 ? p.maxMitglieder : static_cast<int>(zufall() % (p.maxMitglieder / 10 + 1));
                for (int m = 1; m <= n && !codes.isEmpty(); ++m)
                    if (!d.mitglied({name, m, codes[static_cast<int>(zufall() % codes.size())]}, reason))
                        return false;
                fortschritt("Gruppen", g, p.gruppen);
            }
            const qint64 stufenGesamt = qint64(p.programme) * p.subprogramme * p.stufen;
            qint64 n = 0;
            for (int pr = 1; pr <= p.programme; ++pr) {
                const QString prog = QStringLiteral("Programm %1").arg(pr, 4, 10, QLatin1Char('0'));
                for (int s = 1; s <= p.subprogramme; ++s) {
                    const QString sub = QStringLiteral("Teil %1").arg(s, 2, 10, QLatin1Char('0'));
                    for (int l = 1; l <= p.stufen; ++l) {
                        const QString stufe = QString::number(l);
                        if (!d.programm({prog, sub, stufe}, reason)) return false;
                        // Every level is held by the first group and a few drawn ones.
                        if (!gruppen.isEmpty() && !d.recht({prog, sub, stufe, 1, gruppen.front()}, reason))
                            return false;
                        for (int k = 2; k <= p.gruppenJeStufe && !gruppen.isEmpty(); ++k)
                            if (!d.recht({prog, sub, stufe, k,
                                          gruppen[static_cast<int>(zufall() % gruppen.size())]},
                                         reason))
                                return false;
                        fortschritt("Stufen", ++n, stufenGesamt);
                    }
                }
            }
            return d.Leeren(reason);
        });
    });
    if (ok)
        out << "Große Firma in " << ziel.connStrg() << " angelegt (" << uhr.elapsed() << " ms)." << Qt::endl;
    return ok;
}

int Bericht(const DatenbankZiel& ziel, const QString& firma, const QStringList& eingabe, QTextStream& out,
            QTextStream& fehler) {
    CacheFactoryPtr f = Verbinden(ziel, fehler);
    if (!f) return 1;
    QStringList auswahl = eingabe;
    try {
        // A selection that names nothing there is a wrong input, not an empty report.
        QString unbekannt;
        if (!auswahl.value(0).isEmpty()) auswahl[0] = CodeAufloesen(*f, firma, eingabe[0]);
        if (!eingabe.value(0).isEmpty() && auswahl[0].isEmpty())
            unbekannt = QStringLiteral("Mitarbeiter %1 ist in Firma %2 nicht bekannt").arg(eingabe[0], firma);
        else if (!auswahl.value(1).isEmpty() && !GruppeBekannt(*f, auswahl[1]))
            unbekannt = QStringLiteral("die Gruppe %1 besteht nicht").arg(auswahl[1]);
        else if (!auswahl.value(2).isEmpty() && !StufeBekannt(*f, auswahl.mid(2)))
            unbekannt = QStringLiteral("die Stufe %1 besteht nicht").arg(auswahl.mid(2).join(QStringLiteral("||")));
        if (!unbekannt.isEmpty()) {
            fehler << "korval-db: " << unbekannt << Qt::endl;
            return 2;
        }
        CacheAbfragePtr q = f->Abfrage(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Matrix"));
        QStringList parameter{firma};
        for (int i = 0; i < 5; ++i)
            parameter.append(auswahl.value(i));
        q->Ausfuehren(parameter);
        out << Csv::Anfang()
            << Csv::Zeile({QStringLiteral("Code"), QStringLiteral("Name"), QStringLiteral("Gruppe"),
                           QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe")});
        Zaehler zaehler;
        while (q->Naechste()) {
            QStringList zeile;
            for (int i = 1; i <= 6; ++i)
                zeile.append(q->Spalte(i));
            out << Csv::Zeile(zeile);
            zaehler.Zeile();
        }
        q->sys_close();
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << Qt::endl;
        return 1;
    }
    out.flush();
    return 0;
}

QString ProtokollZeit(const QString& datum, bool tagesende) {
    if (datum.isEmpty()) return {};
    QDateTime t;
    const QDate tag = QDate::fromString(datum, Qt::ISODate);
    if (tag.isValid())
        t = (tagesende ? tag.addDays(1) : tag).startOfDay();
    else
        t = QDateTime::fromString(datum, Qt::ISODateWithMs);
    if (!t.isValid()) return {};
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

bool Protokoll(const DatenbankZiel& ziel, const ProtokollFilter& filter, QTextStream& out, QTextStream& fehler) {
    const QString seit = ProtokollZeit(filter.seit), bis = ProtokollZeit(filter.bis, true);
    if ((!filter.seit.isEmpty() && seit.isEmpty()) || (!filter.bis.isEmpty() && bis.isEmpty())) {
        fehler << "korval-db: ungültiges Datum (JJJJ-MM-TT erwartet)" << Qt::endl;
        return false;
    }
    return MitDatenbank(ziel, fehler, false, [&](QSqlDatabase& db, QString& reason) {
        if (!LogSicherstellen(db, reason)) return false;
        QSqlQuery q(db);
        q.setForwardOnly(true);
        // The server narrows, the program folds the case of every letter.
        q.prepare(
            QStringLiteral("SELECT zeit, firma, filiale, pcode, rechner, befehl, objekt, vorher, nachher, nr "
                           "FROM uv_protokoll WHERE (? = '' OR zeit >= ?) AND (? = '' OR zeit < ?) "
                           "AND (? = '' OR LOWER(pcode) LIKE ? ESCAPE '\\') "
                           "AND (? = '' OR LOWER(objekt) LIKE ? ESCAPE '\\') ORDER BY zeit, nr"));
        for (const QString& w :
             {seit, seit, bis, bis, filter.benutzer, Suchtext::Muster(filter.benutzer, false), filter.objekt,
              Suchtext::Muster(filter.objekt, true)})
            q.addBindValue(w.isNull() ? QString::fromLatin1("") : w); // "", never SQL NULL
        if (!q.exec()) {
            reason = q.lastError().text();
            return false;
        }
        out << Csv::Anfang()
            << Csv::Zeile({QStringLiteral("Zeit"), QStringLiteral("Firma"), QStringLiteral("Filiale"),
                           QStringLiteral("Benutzer"), QStringLiteral("Rechner"), QStringLiteral("Befehl"),
                           QStringLiteral("Objekt"), QStringLiteral("Vorher"), QStringLiteral("Nachher"),
                           QStringLiteral("Nr.")});
        Zaehler zaehler;
        while (q.next()) {
            if (!Suchtext::Passt(q.value(3).toString(), filter.benutzer, false) ||
                !Suchtext::Passt(q.value(6).toString(), filter.objekt, true))
                continue;
            QStringList z;
            for (int i = 0; i < 10; ++i)
                z.append(q.value(i).toString());
            out << Csv::Zeile(z);
            zaehler.Zeile();
        }
        out.flush();
        return true;
    });
}

bool ProtokollPruefen(const DatenbankZiel& ziel, QTextStream& out, QTextStream& fehler) {
    ::Protokoll::Kettenbefund befund;
    const bool gelesen = MitDatenbank(ziel, fehler, false, [&](QSqlDatabase& db, QString& reason) {
        if (!LogSicherstellen(db, reason)) return false;
        if (db.record(QStringLiteral("uv_protokoll")).indexOf(QStringLiteral("hash")) < 0) {
            reason = QStringLiteral("Das Änderungsprotokoll hat noch keine Prüfsummen; zuerst \"korval-db upgrade\" "
                                    "ausführen");
            return false;
        }
        return ::Protokoll::KettePruefen(db, befund, reason);
    });
    if (!gelesen) return false;
    if (!befund.ganz) {
        out << "Das Änderungsprotokoll ist nicht vollständig: Eintrag Nr. " << befund.bruch
            << " passt nicht zu dem davor; er wurde geändert, oder davor wurde ein Eintrag entfernt oder "
               "eingefügt. "
            << Zahl(befund.anzahl) << (befund.anzahl == 1 ? " Eintrag" : " Einträge") << " davor sind in Ordnung."
            << Qt::endl;
        return false;
    }
    out << "Das Änderungsprotokoll ist vollständig: " << Zahl(befund.anzahl)
        << (befund.anzahl == 1 ? " Eintrag" : " Einträge") << ", letzte Prüfsumme "
        << (befund.letzterHash.isEmpty() ? QStringLiteral("(keine)") : befund.letzterHash) << "." << Qt::endl;
    return true;
}

bool ProtokollBereinigen(const DatenbankZiel& ziel, const QString& vor, QTextStream& out) {
    const QString grenze = ProtokollZeit(vor);
    if (grenze.isEmpty()) {
        out << "korval-db: ungültiges Datum (JJJJ-MM-TT erwartet)" << Qt::endl;
        return false;
    }
    int n = 0;
    const bool ok = MitDatenbank(ziel, out, false, [&](QSqlDatabase& db, QString& reason) {
        if (!LogSicherstellen(db, reason)) return false;
        return Schema::transaktion(db, reason, [&] {
            QSqlQuery q(db);
            auto ausfuehren = [&](const QString& sql, const QVariantList& binds) {
                q.prepare(sql);
                for (const QVariant& b : binds)
                    q.addBindValue(b);
                if (q.exec()) return true;
                reason = q.lastError().text();
                return false;
            };
            const QString sperre = ::Protokoll::KettenSperreSql(db);
            if (!sperre.isEmpty() && !ausfuehren(sperre, {})) return false;
            // The oldest entries up to the first one at or after the day: the
            // chain goes on from there, and the entry below says where.
            if (!ausfuehren(QStringLiteral("SELECT e.nr, COALESCE((SELECT v.hash FROM uv_protokoll v WHERE v.nr < e.nr "
                                           "ORDER BY v.nr DESC LIMIT 1), '') FROM uv_protokoll e WHERE e.nr = "
                                           "(SELECT MIN(nr) FROM uv_protokoll WHERE zeit >= ?)"),
                            {grenze}))
                return false;
            const QString anfang =
                q.next() ? q.value(0).toString() + QLatin1Char(':') + q.value(1).toString()
                         : QString::fromLatin1(""); // "", never SQL NULL
            if (!ausfuehren(anfang.isEmpty() ? QStringLiteral("DELETE FROM uv_protokoll")
                                             : QStringLiteral("DELETE FROM uv_protokoll WHERE nr < ?"),
                            anfang.isEmpty() ? QVariantList{} : QVariantList{anfang.section(QLatin1Char(':'), 0, 0)}))
                return false;
            n = q.numRowsAffected();
            if (n == 0) return true;
            if (!ausfuehren(QStringLiteral("INSERT INTO uv_protokoll (zeit, rechner, befehl, objekt, vorher, nachher, "
                                           "rolle) VALUES (%1, ?, ?, ?, ?, ?, %2) RETURNING nr")
                                .arg(Schema::zeitSql(db), ::Protokoll::RolleSql(db)),
                            {QSysInfo::machineHostName(), ::Protokoll::BereinigenBefehl, ::Protokoll::BereinigenObjekt,
                             anfang, QStringLiteral("%1 vor %2 gelöscht").arg(n).arg(vor)}) ||
                !q.next())
                return false;
            return ::Protokoll::Verketten(db, reason, q.value(0).toLongLong());
        });
    });
    if (ok) out << Zahl(n) << (n == 1 ? " Eintrag" : " Einträge") << " des Änderungsprotokolls vor " << vor << " gelöscht." << Qt::endl;
    return ok;
}

} // namespace Datenbankwerkzeug

namespace Datenbankwerkzeug {

// 2027-03-01 or 1.3.2027, days and months with or without the leading zero;
// nothing else may follow (a time of day would be ignored silently).
QDate Datum(const QString& text) {
    static const QRegularExpression iso(QStringLiteral("^([0-9]{4})-([0-9]{1,2})-([0-9]{1,2})$")),
        deutsch(QStringLiteral("^([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{4})$"));
    if (const auto m = iso.match(text.trimmed()); m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (const auto m = deutsch.match(text.trimmed()); m.hasMatch())
        return QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    return {};
}

int Befristen(const DatenbankZiel& ziel, const QString& gruppe, const QString& codeEingabe, const QString& datum,
              const QString& grund, QTextStream& out, QTextStream& fehler) {
    const QDate bis = datum.isEmpty() ? QDate() : Datum(datum);
    if (!datum.isEmpty() && !bis.isValid()) {
        fehler << "korval-db: \"" << datum << "\" ist kein Datum (JJJJ-MM-TT oder TT.MM.JJJJ)" << Qt::endl;
        return 2;
    }
    if (bis.isValid() && bis < QDate::currentDate()) {
        fehler << "korval-db: das Datum " << bis.toString(QStringLiteral("dd.MM.yyyy"))
               << " liegt in der Vergangenheit; nichts gespeichert" << Qt::endl;
        return 2;
    }
    CacheFactoryPtr f = Verbinden(ziel, fehler, true);
    if (!f) return 2;
    const QString code = CodeAufloesen(*f, ziel.firma, codeEingabe);
    if (Unbekannt(code, codeEingabe, ziel.firma, fehler)) return 2;
    try {
        // A date changed without --grund keeps its reason.
        QString grundJetzt = grund;
        if (grundJetzt.isNull()) {
            const auto r = static_cast<SqlCacheFactory&>(*f).select(
                QStringLiteral("SELECT grund FROM uv_befristung WHERE gruppe = ? AND pcode = ?"), {gruppe, code}, 1);
            grundJetzt = r.empty() ? QStringLiteral("") : r.front().front();
        }
        f->TransaktionBeginnen();
        QString geaendert;
        try {
            CacheObjektPtr k = f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"));
            geaendert = k->Methode(QStringLiteral("Befristen"),
                                   {gruppe, code, bis.isValid() ? bis.toString(Qt::ISODate) : QString(), grundJetzt});
            f->TransaktionBestaetigen();
        } catch (...) {
            f->TransaktionZuruecknehmen();
            throw;
        }
        if (geaendert != QLatin1String("1")) {
            out << "Die Mitgliedschaft von " << code << " in " << gruppe << " ist bereits so; nichts zu tun."
                << Qt::endl;
            return 1;
        }
        if (bis.isValid())
            out << code << " ist Mitglied in " << gruppe << " bis einschließlich "
                << bis.toString(QStringLiteral("dd.MM.yyyy")) << "." << Qt::endl;
        else
            out << "Die Mitgliedschaft von " << code << " in " << gruppe << " ist nicht mehr befristet." << Qt::endl;
        return 0;
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << "; nichts gespeichert" << Qt::endl;
        return e.Nummer() == Fehlernummer::UngueltigerWert ? 2 : 1;
    }
}

int Ablauf(const DatenbankZiel& ziel, QTextStream& out, QTextStream& fehler) {
    CacheFactoryPtr f = Verbinden(ziel, fehler, true);
    if (!f) return 2;
    try {
        QString antwort;
        f->TransaktionBeginnen();
        try {
            CacheObjektPtr k = f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"));
            antwort = k->Methode(QStringLiteral("Ablauf"), {QDate::currentDate().toString(Qt::ISODate)});
            f->TransaktionBestaetigen();
        } catch (...) {
            f->TransaktionZuruecknehmen();
            throw;
        }
        const QJsonArray weg = QJsonDocument::fromJson(antwort.toUtf8()).array();
        for (const QJsonValue& v : weg) {
            const QJsonArray a = v.toArray();
            const QString warum = a.at(3).toString();
            out << "abgelaufen: " << a.at(1).toString() << " in " << a.at(0).toString() << " (bis "
                << QDate::fromString(a.at(2).toString(), Qt::ISODate).toString(QStringLiteral("dd.MM.yyyy"))
                << (warum.isEmpty() ? QString() : QStringLiteral(", ") + warum) << ")" << Qt::endl;
        }
        if (weg.isEmpty()) {
            out << "Keine Mitgliedschaft ist abgelaufen; nichts zu tun." << Qt::endl;
            return 1;
        }
        out << Zahl(weg.size()) << (weg.size() == 1 ? " Mitgliedschaft" : " Mitgliedschaften") << " entfernt."
            << Qt::endl;
        return 0;
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << "; nichts gespeichert" << Qt::endl;
        return 1;
    }
}

int BefristungenBericht(const DatenbankZiel& ziel, const QString& firma, int tage, QTextStream& out,
                        QTextStream& fehler) {
    CacheFactoryPtr f = Verbinden(ziel, fehler);
    if (!f) return 1;
    const QDate heute = QDate::currentDate();
    try {
        CacheAbfragePtr q = f->Abfrage(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Befristungen"));
        q->Ausfuehren({firma, tage < 0 ? QString() : heute.addDays(tage).toString(Qt::ISODate)});
        out << Csv::Anfang()
            << Csv::Zeile({QStringLiteral("Gruppe"), QStringLiteral("Code"), QStringLiteral("Name"),
                           QStringLiteral("bis"), QStringLiteral("Tage"), QStringLiteral("Grund"),
                           QStringLiteral("befristet von"), QStringLiteral("befristet am")});
        while (q->Naechste()) {
            const QDate bis = QDate::fromString(q->Spalte(4), Qt::ISODate);
            out << Csv::Zeile({q->Spalte(1), q->Spalte(2), q->Spalte(3), q->Spalte(4),
                               QString::number(heute.daysTo(bis)), q->Spalte(5), q->Spalte(6), q->Spalte(7)});
        }
        q->sys_close();
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << Qt::endl;
        return 1;
    }
    out.flush();
    return 0;
}

} // namespace Datenbankwerkzeug

namespace Datenbankwerkzeug {

int Regel(const DatenbankZiel& ziel, const QStringList& args, const QString& beschreibung, QTextStream& out,
          QTextStream& fehler) {
    const QString was = args.value(0);
    const bool liste = was == QLatin1String("liste") && args.size() == 1;
    const bool anlegen = was == QLatin1String("anlegen") && args.size() == 8;
    const bool loeschen = was == QLatin1String("loeschen") && args.size() == 2;
    if (!liste && !anlegen && !loeschen) {
        fehler << "korval-db: regel anlegen NAME P1 S1 L1 P2 S2 L2 | regel loeschen NAME | regel liste" << Qt::endl;
        return 2;
    }
    CacheFactoryPtr f = Verbinden(ziel, fehler, !liste);
    if (!f) return 2;
    try {
        if (liste) {
            CacheAbfragePtr q = f->Abfrage(QStringLiteral("UserVerwaltung.Regel"), QStringLiteral("Liste"));
            q->Ausfuehren({});
            out << Csv::Anfang()
                << Csv::Zeile({QStringLiteral("Name"), QStringLiteral("Beschreibung"), QStringLiteral("Programm 1"),
                               QStringLiteral("Unterprogramm 1"), QStringLiteral("Stufe 1"), QStringLiteral("Programm 2"),
                               QStringLiteral("Unterprogramm 2"), QStringLiteral("Stufe 2")});
            while (q->Naechste()) {
                QStringList z;
                for (int i = 1; i <= 8; ++i)
                    z.append(q->Spalte(i));
                out << Csv::Zeile(z);
            }
            q->sys_close();
            out.flush();
            return 0;
        }
        QString geaendert;
        f->TransaktionBeginnen();
        try {
            CacheObjektPtr k = f->Klassenmethoden(QStringLiteral("UserVerwaltung.Regel"));
            geaendert = anlegen ? k->Methode(QStringLiteral("RegelSpeichern"),
                                             {args[1], beschreibung, args[2], args[3], args[4], args[5], args[6],
                                              args[7], QStringLiteral("1")})
                                : k->Methode(QStringLiteral("RegelLoeschen"), {args[1]});
            f->TransaktionBestaetigen();
        } catch (...) {
            f->TransaktionZuruecknehmen();
            throw;
        }
        if (loeschen && geaendert != QLatin1String("1")) {
            out << "Keine Regel heißt " << args[1]
                << " (auch nicht eindeutig in anderer Groß- und Kleinschreibung); nichts zu tun." << Qt::endl;
            return 1;
        }
        out << "Regel " << args[1] << (anlegen ? " angelegt." : " gelöscht.") << Qt::endl;
        return 0;
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << "; nichts gespeichert" << Qt::endl;
        return e.Nummer() == Fehlernummer::UngueltigerWert || e.Nummer() == Fehlernummer::KonfliktVorhanden ? 2 : 1;
    }
}

int Unvereinbar(const DatenbankZiel& ziel, const QString& firma, QTextStream& out, QTextStream& fehler) {
    CacheFactoryPtr f = Verbinden(ziel, fehler);
    if (!f) return 2;
    bool ohneAusnahme = false;
    try {
        CacheAbfragePtr q = f->Abfrage(QStringLiteral("UserVerwaltung.Regel"), QStringLiteral("Verstoesse"));
        q->Ausfuehren({firma});
        out << Csv::Anfang() << Csv::Zeile(Verstosszeilen::Spalten());
        Verstosszeilen::Lesen(*q, [&](const QStringList& z) {
            if (z[5].isEmpty()) ohneAusnahme = true;
            out << Csv::Zeile(z);
        });
        q->sys_close();
    } catch (const CacheFehler& e) {
        fehler << "korval-db: " << Meldung(e) << Qt::endl;
        return 2;
    }
    out.flush();
    return ohneAusnahme ? 1 : 0;
}

} // namespace Datenbankwerkzeug

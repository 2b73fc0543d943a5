// PostgreSQL: the commands as functions on the server. Their text lives in the
// files under sql/ (compiled in as resources); like repeatable migrations they
// are not schema steps: a database whose fingerprint differs from the files'
// gets all of them recreated, so it always runs the bodies of the program
// that connects to it.

#include "schema.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace Schema {

namespace {

// In dependency order: helpers before the commands that call them.
const char* const Dateien[] = {"protokoll", "sitzung", "datensatz", "lesen", "kopieren", "befehle", "befristung", "regeln", "rueckgaengig"};

QString Datei(const char* name) {
    QFile f(QStringLiteral(":/sql/%1.sql").arg(QString::fromLatin1(name)));
    if (!f.open(QIODevice::ReadOnly)) qFatal("SQL-Ressource %s fehlt", name);
    return QString::fromUtf8(f.readAll());
}

} // namespace

QStringList anweisungen(const QString& text) {
    QStringList liste;
    QString aktuell;
    QString marke; // the dollar quote we are in, if any
    static const QRegularExpression dollar(QStringLiteral("\\$[A-Za-z_]*\\$"));
    auto abschliessen = [&] {
        // A statement of comments only is none.
        QString ohne;
        for (const QString& zeile : aktuell.split(QLatin1Char('\n')))
            if (!zeile.trimmed().startsWith(QLatin1String("--"))) ohne += zeile + QLatin1Char('\n');
        if (!ohne.trimmed().isEmpty()) liste.append(aktuell.trimmed());
        aktuell.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('$')) {
            const auto m = dollar.match(text, i, QRegularExpression::NormalMatch,
                                        QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch() && (marke.isEmpty() || m.captured() == marke)) {
                marke = marke.isEmpty() ? m.captured() : QString();
                aktuell += m.captured();
                i += m.capturedLength() - 1;
                continue;
            }
        }
        if (marke.isEmpty() && c == QLatin1Char('\'')) {
            const qsizetype ende = text.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype bis = ende < 0 ? text.size() : ende + 1;
            aktuell += text.mid(i, bis - i);
            i = bis - 1;
            continue;
        }
        if (marke.isEmpty() && c == QLatin1Char('-') && text.mid(i, 2) == QLatin1String("--")) {
            const qsizetype ende = text.indexOf(QLatin1Char('\n'), i);
            const qsizetype bis = ende < 0 ? text.size() : ende;
            aktuell += text.mid(i, bis - i);
            i = bis - 1;
            continue;
        }
        if (marke.isEmpty() && c == QLatin1Char(';')) {
            abschliessen();
            continue;
        }
        aktuell += c;
    }
    abschliessen();
    return liste;
}

QStringList funktionen() {
    static const QStringList s = [] {
        QStringList a;
        for (const char* d : Dateien)
            a += anweisungen(Datei(d));
        return a;
    }();
    return s;
}

QStringList einstiege() {
    return {QStringLiteral("uv_herausforderung"),   QStringLiteral("uv_anmelden"),
            QStringLiteral("uv_code_suchen"),       QStringLiteral("uv_listen"),
            QStringLiteral("uv_gruppe_speichern"),  QStringLiteral("uv_gruppe_loeschen"),
            QStringLiteral("uv_stufe_speichern"),   QStringLiteral("uv_stufe_loeschen"),
            QStringLiteral("uv_stufen_loeschen"),   QStringLiteral("uv_gruppe_kopieren"),
            QStringLiteral("uv_rechte_uebernehmen"), QStringLiteral("uv_rueckgaengig"),
            QStringLiteral("uv_verbindung"),         QStringLiteral("uv_gruppe_entziehen"),
            QStringLiteral("uv_liste_pruefen"),      QStringLiteral("uv_gruppen_sperren"),
            QStringLiteral("uv_befristen"),          QStringLiteral("uv_ablauf"),
            QStringLiteral("uv_regel_speichern"),    QStringLiteral("uv_regel_loeschen")};
}

QString eigentuemerrolleSql() {
    return QStringLiteral("lower(current_database()) || '_eigentuemer'");
}

QString anwendungsrolleSql() {
    return QStringLiteral("lower(current_database()) || '_anwendung'");
}

QString funktionsstandSql() {
    return QStringLiteral("SELECT COALESCE(md5(string_agg(p.oid::regprocedure::text || ':' || p.prosecdef || ':' || "
                          "COALESCE(array_to_string(p.proconfig, ','), '') || ':' || p.prosrc, '|' "
                          "ORDER BY p.oid::regprocedure::text)), '') FROM pg_proc p WHERE p.pronamespace = "
                          "current_schema()::regnamespace AND p.proname LIKE 'uv\\_%'");
}

QString fingerabdruck() {
    static const QString wert = [] {
        QCryptographicHash h(QCryptographicHash::Sha256);
        for (const char* d : Dateien) {
            h.addData(QByteArray(d) + '\0');
            h.addData(Datei(d).toUtf8());
        }
        return QString::fromLatin1(h.result().toHex());
    }();
    return wert;
}

Funktionen funktionenAbgleichen(QSqlDatabase& db, const QString& bekannt, QString& reason) {
    if (!isPostgres(db)) return Funktionen::Fehlen;
    if (bekannt == fingerabdruck()) return Funktionen::Aktuell;
    const bool ok = transaktion(db, reason, [&] {
        QSqlQuery q(db);
        // The functions run with their owner's rights: in a schema where any
        // database user may create objects, one planted there beside them would
        // run with those rights too.
        if (!q.exec(QStringLiteral("SELECT current_schema(), has_schema_privilege('public', current_schema(), 'CREATE')")) ||
            !q.next()) {
            reason = q.lastError().text();
            return false;
        }
        const QString schema = q.value(0).toString();
        if (q.value(1).toBool()) {
            reason = QStringLiteral("Im Schema %1 darf jeder Datenbankbenutzer Objekte anlegen; die Funktionen der "
                                    "Benutzerverwaltung werden dort nicht angelegt. Der Eigentümer der Datenbank "
                                    "behebt das mit \"korval-db upgrade\" oder \"REVOKE CREATE ON SCHEMA %1 FROM "
                                    "PUBLIC\".")
                         .arg(schema);
            return false;
        }
        // Who may call them now (the workstations' roles) may call the new ones.
        if (!q.exec(QStringLiteral("SELECT COALESCE(string_agg(DISTINCT quote_literal(pg_get_userbyid(a.grantee)), ', '), "
                                   "'') FROM pg_proc p, aclexplode(p.proacl) a WHERE p.proname LIKE 'uv\\_%' AND "
                                   "p.pronamespace = current_schema()::regnamespace AND a.privilege_type = 'EXECUTE' "
                                   "AND a.grantee <> 0 AND a.grantee <> p.proowner")) ||
            !q.next()) {
            reason = q.lastError().text();
            return false;
        }
        const QString berechtigt = q.value(0).toString();
        // Every function of ours goes first: one the files no longer hold, or
        // whose arguments changed, must not stay behind.
        QStringList alt;
        if (!q.exec(QStringLiteral("SELECT p.oid::regprocedure::text FROM pg_proc p "
                                   "WHERE p.proname LIKE 'uv\\_%' AND p.pronamespace = current_schema()::regnamespace"))) {
            reason = q.lastError().text();
            return false;
        }
        while (q.next())
            alt.append(q.value(0).toString());
        for (const QString& f : alt)
            if (!q.exec(QStringLiteral("DROP FUNCTION IF EXISTS %1 CASCADE").arg(f))) {
                reason = q.lastError().text();
                return false;
            }
        for (const QString& s : funktionen())
            if (!q.exec(s)) {
                reason = q.lastError().text();
                return false;
            }
        // Each runs as its owner with the search path pinned to its own schema
        // (the caller's cannot redirect a name), and only those granted it may
        // call it. In a secured database the owner is the role that owns the
        // tables, and the workstations' role gets the entry points again.
        if (!q.exec(QStringLiteral("DO $$ DECLARE r record; eigner name; a text; rollen text[] := ARRAY[%1%3]::text[]; "
                                   "BEGIN "
                                   "SELECT pg_get_userbyid(c.relowner) INTO eigner FROM pg_class c "
                                   "WHERE c.oid = to_regclass('kv_schema'); "
                                   "FOR r IN SELECT p.oid::regprocedure AS f, p.proname FROM pg_proc p "
                                   "WHERE p.proname LIKE 'uv\\_%' AND p.pronamespace = current_schema()::regnamespace "
                                   "LOOP EXECUTE format('ALTER FUNCTION %s SECURITY DEFINER SET search_path = %I, "
                                   "pg_temp', r.f, current_schema()); EXECUTE format('REVOKE EXECUTE ON FUNCTION %s "
                                   "FROM PUBLIC', r.f); "
                                   "IF eigner IS NOT NULL AND eigner <> current_user THEN "
                                   "EXECUTE format('ALTER FUNCTION %s OWNER TO %I', r.f, eigner); END IF; "
                                   "IF r.proname = ANY (ARRAY[%2]) THEN FOREACH a IN ARRAY rollen LOOP "
                                   "IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = a) THEN "
                                   "EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I', r.f, a); END IF; "
                                   "END LOOP; END IF; END LOOP; END $$")
                        .arg(anwendungsrolleSql(),
                             QStringLiteral("'") + einstiege().join(QStringLiteral("', '")) + QStringLiteral("'"),
                             berechtigt.isEmpty() ? QString() : QStringLiteral(", ") + berechtigt))) {
            reason = q.lastError().text();
            return false;
        }
        // Plans kept by the old functions' undo are not the new ones'.
        if (!q.exec(QStringLiteral("DO $$ BEGIN IF to_regclass('uv_rz_plaene') IS NOT NULL THEN "
                                   "DELETE FROM uv_rz_plaene; END IF; END $$"))) {
            reason = q.lastError().text();
            return false;
        }
        // With it the hash of the functions as they are now, so that a later
        // change by hand shows (compared at every connect, in the same read).
        if (!q.exec(funktionsstandSql()) || !q.next()) {
            reason = q.lastError().text();
            return false;
        }
        const QString stand = q.value(0).toString();
        q.prepare(QStringLiteral("UPDATE kv_schema SET funktionen = ?"));
        q.addBindValue(fingerabdruck() + QLatin1Char(':') + stand);
        if (!q.exec()) {
            reason = q.lastError().text();
            return false;
        }
        return true;
    });
    return ok ? Funktionen::Erneuert : Funktionen::Fehlen;
}

} // namespace Schema

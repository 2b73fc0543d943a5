#include "sqlfactory.h"

#include "matrix.h"
#include "protokoll.h"
#include "schema.h"
#include "verbindungsziel.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSysInfo>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QUuid>

#include <utility>

namespace {

[[noreturn]] void raise(int number, const QString& text) {
    throw CacheFehler(number, text);
}

const QChar SubscriptSeparator(0x1F);

// A stored object or a new one, of any class.
class SqlObjekt final : public CacheObjekt {
  public:
    SqlObjekt(SqlCacheFactory& f, const ClassDef& cls, bool isNew) : m_f(f), m_cls(cls), m_new(isNew) {}

    void load(const QString& id) {
        m_key = m_f.splitId(m_cls, id);
        if (auto v = m_f.vorratNehmen(SqlCacheFactory::objektSchluessel(m_cls.name, id))) {
            // A level as the command that changed it left it.
            if (!v->da)
                raise(Fehlernummer::ObjektFehlt,
                      QStringLiteral("<LOADOBJ> %1: kein Objekt mit der Id %2").arg(m_cls.name, id));
            for (int i = 0; i < m_cls.keyColumns.size(); ++i)
                m_values.insert(m_cls.keyColumns[i], m_key[i]);
            for (auto it = v->felder.cbegin(); it != v->felder.cend(); ++it)
                m_values.insert(it.key(), it.value());
            if (m_cls.list) {
                m_list = std::make_shared<SysList>();
                for (QString& w : v->werte)
                    m_list->Append(std::move(w));
            }
            return;
        }
        if (m_cls.table == QLatin1String("uv_programm")) {
            // A level is its key and a few groups: both in one request.
            auto gruppen = m_f.stufeMitGruppen(m_key);
            if (!gruppen)
                raise(Fehlernummer::ObjektFehlt,
                      QStringLiteral("<LOADOBJ> %1: kein Objekt mit der Id %2").arg(m_cls.name, id));
            for (int i = 0; i < m_cls.keyColumns.size(); ++i)
                m_values.insert(m_cls.keyColumns[i], m_key[i]);
            m_list = std::make_shared<SysList>();
            for (QString& g : *gruppen)
                m_list->Append(std::move(g));
            return;
        }
        SqlCacheFactory::Vorrat satz = m_f.objektLesen(m_cls, m_key).second;
        if (!satz.da)
            raise(Fehlernummer::ObjektFehlt,
                  QStringLiteral("<LOADOBJ> %1: kein Objekt mit der Id %2").arg(m_cls.name, id));
        for (auto it = satz.felder.cbegin(); it != satz.felder.cend(); ++it)
            m_values.insert(it.key(), it.value());
    }

    QString Eigenschaft(const QString& name) const override {
        check();
        const PropertyDef* p = m_cls.property(name);
        if (!p)
            raise(Fehlernummer::UnbekannteEigenschaft,
                  QStringLiteral("<PROPERTY DOES NOT EXIST> %1.%2").arg(m_cls.name, name));
        return m_values.value(p->column);
    }

    void setEigenschaft(const QString& name, const QString& wert) override {
        check();
        const PropertyDef* p = m_cls.property(name);
        if (!p)
            raise(Fehlernummer::UnbekannteEigenschaft,
                  QStringLiteral("<PROPERTY DOES NOT EXIST> %1.%2").arg(m_cls.name, name));
        if (p->integer) {
            bool ok = false;
            const int v = wert.toInt(&ok);
            if (!ok || v < -32768 || v > 32767)
                raise(Fehlernummer::UngueltigerWert,
                      QStringLiteral("<VALUE OUT OF RANGE> %1.%2 = %3").arg(m_cls.name, p->name, wert));
        }
        m_values.insert(p->column, wert);
    }

    SysListPtr Liste(const QString& name) override {
        check();
        if (!m_cls.list || m_cls.list->name.compare(name, Qt::CaseInsensitive) != 0)
            raise(Fehlernummer::UnbekannteEigenschaft,
                  QStringLiteral("<PROPERTY DOES NOT EXIST> %1.%2").arg(m_cls.name, name));
        if (!m_list) m_list = m_new ? std::make_shared<SysList>() : m_f.loadList(m_cls, m_key);
        return m_list;
    }

    QString Methode(const QString& name, const std::vector<Argument>& args) override {
        const QString m = name.toLower();
        if (m == QLatin1String("sys_close")) {
            m_closed = true;
            return {};
        }
        check();
        SqlCacheFactory::ImProzess einAufruf(m_f);
        if (m == QLatin1String("sys_save")) {
            if (m_cls.newOnly)
                raise(Fehlernummer::UnbekannteMethode, QStringLiteral("<METHOD DOES NOT EXIST> sys_Save"));
            m_f.saveObject(m_cls, m_new, m_values, m_list.get());
            m_new = false;
            m_key.clear();
            for (const QString& k : m_cls.keyColumns)
                m_key.append(m_values.value(k));
            return {};
        }
        if (m == QLatin1String("sys_deleteid")) {
            m_f.deleteObject(m_cls, text(args, 0));
            return {};
        }
        if (m == QLatin1String("xecute") && m_cls.newOnly) return m_f.xecute(text(args, 0));
        if (m.endsWith(QLatin1String("logicaltoodbc"))) {
            const QString prop = name.left(name.size() - 13);
            const QString value = args.empty() ? Eigenschaft(prop) : (Eigenschaft(prop), text(args, 0));
            return sevenBitToDisplay(value);
        }
        raise(Fehlernummer::UnbekannteMethode,
              QStringLiteral("<METHOD DOES NOT EXIST> %1.%2").arg(m_cls.name, name));
    }

    static QString text(const std::vector<Argument>& args, size_t i) {
        if (i >= args.size() || !std::holds_alternative<QString>(args[i]))
            raise(Fehlernummer::UngueltigerWert,
                  QStringLiteral("<PARAMETER> Text erwartet an Stelle %1").arg(i + 1));
        return std::get<QString>(args[i]);
    }

  private:
    void check() const {
        if (m_closed)
            raise(Fehlernummer::Geschlossen,
                  QStringLiteral("<INVALID OREF> %1 ist geschlossen").arg(m_cls.name));
    }

    SqlCacheFactory& m_f;
    const ClassDef& m_cls;
    bool m_new;
    bool m_closed = false;
    QStringList m_key;
    QHash<QString, QString> m_values;
    SysListPtr m_list;
};

// The class-method handle: SaveCodes, SaveGruppen, ListePruefen and the set-based deletes.
class SqlKlasse final : public CacheObjekt {
  public:
    SqlKlasse(SqlCacheFactory& f, const ClassDef& cls) : m_f(f), m_cls(cls) {}
    QString Eigenschaft(const QString& name) const override {
        raise(Fehlernummer::UnbekannteEigenschaft, QStringLiteral("<PROPERTY DOES NOT EXIST> %1").arg(name));
    }
    void setEigenschaft(const QString& name, const QString&) override { Eigenschaft(name); }
    SysListPtr Liste(const QString& name) override {
        Eigenschaft(name);
        return {};
    }
    QString Methode(const QString& name, const std::vector<Argument>& args) override {
        const QString m = name.toLower();
        if (m == QLatin1String("sys_close")) return {};
        if (m == QLatin1String("schemapruefen")) return m_f.schemaFehler();
        if (m == QLatin1String("sicherungpruefen")) return m_f.sicherungshinweis();
        // No request: the reason goes with the next command.
        if (m == QLatin1String("ausnahme") && args.size() == 1) {
            m_f.setAusnahme(SqlObjekt::text(args, 0));
            return {};
        }
        SqlCacheFactory::ImProzess einAufruf(m_f);
        if (m == QLatin1String("anmeldedaten") && m_cls.table == QLatin1String("kv_parpersedv"))
            return m_f.anmeldedaten(SqlObjekt::text(args, 0), SqlObjekt::text(args, 1), SqlObjekt::text(args, 2),
                                    args.size() > 3 ? SqlObjekt::text(args, 3) : QString());
        if (m == QLatin1String("codesuchen") && m_cls.table == QLatin1String("kv_parpersedv"))
            return m_f.codeSuchen(SqlObjekt::text(args, 0), SqlObjekt::text(args, 1));
        if (m == QLatin1String("rueckgaengig") && m_cls.table == QLatin1String("uv_protokoll")) {
            bool ok = false;
            const qint64 nr = SqlObjekt::text(args, 0).toLongLong(&ok);
            if (!ok || nr <= 0)
                raise(Fehlernummer::UngueltigerWert,
                      QStringLiteral("<PROTOKOLL> \"%1\" ist keine Nummer eines Eintrags").arg(SqlObjekt::text(args, 0)));
            return m_f.undo(nr, args.size() > 1 ? SqlObjekt::text(args, 1) : QString());
        }
        // GruppenPruefen(P, S, L, list[, list as the caller loaded it])
        auto liste = [&](size_t i) -> const SysList* {
            return i < args.size() && std::holds_alternative<SysListPtr>(args[i]) ? std::get<SysListPtr>(args[i]).get()
                                                                                 : nullptr;
        };
        if (m == QLatin1String("gruppenpruefen") && m_cls.table == QLatin1String("uv_programm") &&
            (args.size() == 4 || args.size() == 5) && liste(3) && (args.size() == 4 || liste(4)))
            return m_f.checkGroups({SqlObjekt::text(args, 0), SqlObjekt::text(args, 1), SqlObjekt::text(args, 2)},
                                   *liste(3), liste(4));
        // Kopieren(source, target, "1"/"0" members, "1"/"0" levels)
        if (m == QLatin1String("kopieren") && m_cls.table == QLatin1String("uv_gruppen") && args.size() == 4)
            return m_f.copyGroup(SqlObjekt::text(args, 0), SqlObjekt::text(args, 1),
                                 SqlObjekt::text(args, 2) != QLatin1String("0"),
                                 SqlObjekt::text(args, 3) != QLatin1String("0"));
        // The commands: Speichern(id parts…, list, loaded list, check[, "1" missing groups granted])
        // and Loeschen(id parts…, loaded list, check).
        const int teile = static_cast<int>(m_cls.keyColumns.size());
        if ((m == QLatin1String("speichern") || m == QLatin1String("loeschen")) && m_cls.list) {
            const bool speichern = m == QLatin1String("speichern");
            const size_t n = static_cast<size_t>(teile) + (speichern ? 1 : 0);
            if (args.size() < n + 2 || !liste(n) || (speichern && !liste(n - 1)))
                raise(Fehlernummer::UngueltigerWert, QStringLiteral("<PARAMETER> %1: falsche Argumente").arg(name));
            QStringList key;
            for (int i = 0; i < teile; ++i)
                key.append(SqlObjekt::text(args, static_cast<size_t>(i)));
            bool zahl = false;
            const int pruefen = SqlObjekt::text(args, n + 1).toInt(&zahl);
            if (!zahl || pruefen < 0 || pruefen > 2)
                raise(Fehlernummer::UngueltigerWert, QStringLiteral("<PARAMETER> %1: Prüfkennzeichen 0, 1 oder 2 erwartet").arg(name));
            const bool gruppe = m_cls.table == QLatin1String("uv_gruppen");
            if (!speichern)
                return gruppe ? m_f.gruppeLoeschen(key[0], *liste(n), pruefen) : m_f.stufeLoeschen(key, *liste(n), pruefen);
            if (gruppe) return m_f.gruppeSpeichern(key[0], *liste(n - 1), *liste(n), pruefen);
            return m_f.stufeSpeichern(key, *liste(n - 1), *liste(n), pruefen,
                                      args.size() > n + 2 && SqlObjekt::text(args, n + 2) == QLatin1String("1"));
        }
        // Befristen(group, code, date or "" to remove, reason); Ablauf(today)
        // RegelSpeichern(name, description, p1, s1, l1, p2, s2, l2, "1" new); RegelLoeschen(name)
        if (m == QLatin1String("regelspeichern") && m_cls.table == QLatin1String("uv_regel") && args.size() == 9)
            return m_f.regelSpeichern(SqlObjekt::text(args, 0), SqlObjekt::text(args, 1),
                                      {SqlObjekt::text(args, 2), SqlObjekt::text(args, 3), SqlObjekt::text(args, 4),
                                       SqlObjekt::text(args, 5), SqlObjekt::text(args, 6), SqlObjekt::text(args, 7)},
                                      SqlObjekt::text(args, 8) == QLatin1String("1"));
        if (m == QLatin1String("regelloeschen") && m_cls.table == QLatin1String("uv_regel") && args.size() == 1)
            return m_f.regelLoeschen(SqlObjekt::text(args, 0));
        if (m == QLatin1String("befristen") && m_cls.table == QLatin1String("uv_gruppen") && args.size() == 4)
            return m_f.befristen(SqlObjekt::text(args, 0), SqlObjekt::text(args, 1), SqlObjekt::text(args, 2),
                                 SqlObjekt::text(args, 3));
        if (m == QLatin1String("ablauf") && m_cls.table == QLatin1String("uv_gruppen") && args.size() == 1)
            return m_f.ablauf(SqlObjekt::text(args, 0));
        if (m == QLatin1String("listen") && m_cls.table == QLatin1String("uv_gruppen"))
            return m_f.listen(SqlObjekt::text(args, 0));
        if (m == QLatin1String("rechteuebernehmen") && m_cls.table == QLatin1String("uv_gruppen"))
            return m_f.rechteUebernehmen(SqlObjekt::text(args, 0), SqlObjekt::text(args, 1));
        if (m == QLatin1String("gruppeentziehen") && m_cls.table == QLatin1String("uv_programm"))
            return QString::number(m_f.withdrawGroup(SqlObjekt::text(args, 0)));
        if (m == QLatin1String("stufenloeschen") && m_cls.table == QLatin1String("uv_programm"))
            return m_f.stufenLoeschen(SqlObjekt::text(args, 0), SqlObjekt::text(args, 1));
        const int keys = static_cast<int>(m_cls.keyColumns.size());
        // ListePruefen(id parts…, expected list[, "0" when expected absent]):
        // is the record still as the caller knows it?
        const bool pruefen = m == QLatin1String("listepruefen") && m_cls.list;
        std::vector<Argument> a = args;
        bool vorhanden = true;
        if (pruefen && static_cast<int>(a.size()) == keys + 2) {
            vorhanden = SqlObjekt::text(a, a.size() - 1) != QLatin1String("0");
            a.pop_back();
        }
        const bool known = pruefen ||
                           (m == QLatin1String("savecodes") && m_cls.table == QLatin1String("uv_gruppen")) ||
                           (m == QLatin1String("savegruppen") && m_cls.table == QLatin1String("uv_programm"));
        if (!known)
            raise(Fehlernummer::UnbekannteMethode,
                  QStringLiteral("<METHOD DOES NOT EXIST> %1.%2").arg(m_cls.name, name));
        if (static_cast<int>(a.size()) != keys + 1 || !std::holds_alternative<SysListPtr>(a.back()) ||
            !std::get<SysListPtr>(a.back()))
            raise(Fehlernummer::UngueltigerWert,
                  QStringLiteral("<PARAMETER> %1: falsche Argumente").arg(name));
        QStringList key;
        for (int i = 0; i < keys; ++i)
            key.append(SqlObjekt::text(a, static_cast<size_t>(i)));
        if (pruefen)
            m_f.checkList(m_cls, key, *std::get<SysListPtr>(a.back()), vorhanden);
        else
            m_f.listeSpeichern(m_cls, key, *std::get<SysListPtr>(a.back()));
        return {};
    }

  private:
    SqlCacheFactory& m_f;
    const ClassDef& m_cls;
};

class SqlAbfrage final : public CacheAbfrage {
  public:
    SqlAbfrage(SqlCacheFactory& f, const QueryDef& q, QString name)
        : m_f(f), m_q(q), m_name(std::move(name)) {}
    void Ausfuehren(const QStringList& parameter) override {
        if (m_closed)
            raise(Fehlernummer::Geschlossen,
                  QStringLiteral("<INVALID OREF> Abfrage %1 ist geschlossen").arg(m_name));
        if (parameter.size() > m_q.parameters)
            raise(Fehlernummer::UngueltigerWert,
                  QStringLiteral("<PARAMETER> %1: zu viele Parameter").arg(m_name));
        QVariantList binds;
        for (int i : m_q.bind)
            binds.append(i < parameter.size() ? parameter[i] : QString());
        m_spalten = m_q.columns;
        m_pos = -1;
        m_erzeuger.reset();
        // The whole matrix, without a selection: made from its parts as it is read.
        if (&m_q == findQuery(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Matrix")) &&
            std::all_of(parameter.begin() + std::min<qsizetype>(1, parameter.size()), parameter.end(),
                        [](const QString& p) { return p.isEmpty(); })) {
            Beenden();
            m_erzeuger = std::make_unique<Matrixerzeuger>(m_f, parameter.value(0));
            return;
        }
        // A database without end dates and rules yet reads none.
        QString sql = m_q.sql;
        if (!m_f.befristungenDa())
            for (const auto& [tabelle, spalten] :
                 {std::pair{"uv_befristung", "gruppe, pcode, bis, grund, wer, wann"},
                  std::pair{"uv_regel", "name, beschreibung, p1, s1, l1, p2, s2, l2"},
                  std::pair{"uv_ausnahme", "pcode, regel, grund, wer, wann"}}) {
                QString leer;
                for (const QString& spalte : QString::fromLatin1(spalten).split(QStringLiteral(", ")))
                    leer += (leer.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("'' AS ") + spalte;
                sql.replace(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QString::fromLatin1(tabelle))),
                            QStringLiteral("(SELECT %1 WHERE 1 = 0)").arg(leer));
            }
        if (m_q.stream) {
            Beenden();
            m_laufend = &m_f.selectStream(sql, binds);
            m_sitzung = m_f.Sitzung();
            return;
        }
        const QString schluessel = SqlCacheFactory::abfrageSchluessel(m_name, parameter);
        if (auto v = m_f.vorratNehmen(schluessel)) {
            m_werte = std::move(v->werte);
        } else {
            m_werte = m_f.selectFlat(sql, binds, m_q.columns);
            if (m_q.wiederholbar) m_f.vorratLegen(schluessel, m_werte);
        }
        for (int spalte : m_q.display)
            for (size_t i = static_cast<size_t>(spalte); i < m_werte.size(); i += static_cast<size_t>(m_spalten))
                m_werte[i] = sevenBitToDisplay(m_werte[i]);
    }
    bool Naechste() override {
        if (m_erzeuger) return m_erzeuger->Naechste();
        if (m_q.stream) {
            if (!m_laufend || m_sitzung != m_f.Sitzung()) {
                m_laufend = nullptr;
                return false;
            }
            QSqlQuery* q = m_laufend;
            // After the last row, or a failure, the statement is free again.
            m_laufend = nullptr;
            if (!m_f.weiter(*q)) return false;
            m_laufend = q;
            ++m_pos;
            return true;
        }
        if ((m_pos + 2) * m_spalten > static_cast<long>(m_werte.size())) return false;
        ++m_pos;
        return true;
    }
    QString Spalte(int nummer) const override {
        if (m_erzeuger) {
            if (nummer < 1 || nummer > m_spalten)
                raise(Fehlernummer::UngueltigerWert,
                      QStringLiteral("<RESULTSET> %1: keine Spalte %2").arg(m_name).arg(nummer));
            return m_erzeuger->Spalte(nummer);
        }
        if (m_q.stream ? !m_laufend : (m_pos < 0 || (m_pos + 1) * m_spalten > static_cast<long>(m_werte.size())))
            raise(Fehlernummer::UngueltigerWert,
                  QStringLiteral("<RESULTSET> %1: keine aktuelle Zeile").arg(m_name));
        if (nummer < 1 || nummer > m_spalten)
            raise(Fehlernummer::UngueltigerWert,
                  QStringLiteral("<RESULTSET> %1: keine Spalte %2").arg(m_name).arg(nummer));
        if (m_q.stream) {
            const QString w = m_laufend->value(nummer - 1).toString();
            return m_q.display.contains(nummer - 1) ? sevenBitToDisplay(w) : w;
        }
        return m_werte[static_cast<size_t>(m_pos * m_spalten + nummer - 1)];
    }
    void sys_close() override {
        m_closed = true;
        m_erzeuger.reset();
        m_werte.clear();
        Beenden();
    }
    ~SqlAbfrage() override { Beenden(); }

  private:
    SqlCacheFactory& m_f;
    const QueryDef& m_q;
    QString m_name;
    void Beenden() {
        // A statement of a closed connection is gone with it.
        if (m_laufend && m_sitzung == m_f.Sitzung()) m_laufend->finish();
        m_laufend = nullptr;
    }
    std::unique_ptr<Matrixerzeuger> m_erzeuger;
    std::vector<QString> m_werte; // row after row
    QSqlQuery* m_laufend = nullptr; // a result read as it goes
    long m_sitzung = 0;
    long m_spalten = 1;
    long m_pos = -1;
    bool m_closed = false;
};

} // namespace

QString Verbindungsgrund(const QString& meldung) {
    // libpq's and SQLite's words for why a connection failed, in the user's terms.
    static const std::pair<const char*, const char*> gruende[] = {
        {"password authentication failed", "Anmeldung am Datenbankserver abgelehnt"},
        {"no password supplied", "Anmeldung am Datenbankserver abgelehnt"},
        {"authentication failed", "Anmeldung am Datenbankserver abgelehnt"},
        {"could not translate host name", "Rechnername unbekannt"},
        {"Name or service not known", "Rechnername unbekannt"},
        {"Connection refused", "Verbindung abgelehnt"},
        {"timeout expired", "Zeitüberschreitung"},
        {"timed out", "Zeitüberschreitung"},
        {"does not exist", "Datenbank nicht vorhanden"},
        {"nicht gefunden", "Datenbank nicht vorhanden"},
    };
    for (const auto& [text, grund] : gruende)
        if (meldung.contains(QLatin1String(text), Qt::CaseInsensitive)) return QString::fromUtf8(grund);
    return QStringLiteral("Server nicht erreichbar");
}

CacheFactoryPtr NeueCacheFactory() {
    return std::make_unique<SqlCacheFactory>();
}

SqlCacheFactory::SqlCacheFactory()
    : m_name(QStringLiteral("korval-") + QUuid::createUuid().toString(QUuid::Id128)), m_interpreter(*this) {}

SqlCacheFactory::~SqlCacheFactory() {
    Disconnect();
}

bool SqlCacheFactory::isPostgres() const {
    return Schema::isPostgres(m_db);
}

bool SqlCacheFactory::Connect(const QString& connStrg) {
    Disconnect();
    m_ziel = connStrg;
    m_lastError.clear();
    const auto target = ConnectionTarget::parse(connStrg);
    if (!target) {
        m_lastError = QStringLiteral("Verbindungszeichenfolge ungültig: %1").arg(connStrg);
        return false;
    }
    QString reason;
    m_db = Schema::open(*target, m_name, reason);
    if (!m_db.isOpen()) {
        m_lastError = Verbindungsgrund(reason) + QStringLiteral(": ") +
                      (reason.isEmpty() ? QStringLiteral("Server nicht erreichbar") : reason.simplified());
        Disconnect();
        return false;
    }
    QString lesefehler, fingerabdruck;
    // Reading the version is the connection's one request when the schema is current.
    ++m_rundreisen;
    m_ungesichert = false;
    const int version = Schema::version(m_db, lesefehler, &fingerabdruck, &m_serverSitzung, &m_ungesichert);
    if (version < 1) {
        m_lastError = lesefehler.isEmpty()
                          ? QStringLiteral("Die Datenbank %1 enthält keine Benutzerverwaltung").arg(target->ns)
                          : QStringLiteral("Die Datenbank %1 kann nicht gelesen werden: %2")
                                .arg(target->ns, lesefehler);
        Disconnect();
        return false;
    }
    // An older database is brought up to date; should that fail (a database
    // user without the right to create tables), reading still works, and every
    // change is refused with the reason, since none may go unlogged.
    m_schemaFehler.clear();
    int erreicht = 0;
    // Without the command functions (a user who may not create them) the
    // commands run statement by statement: slower on a slow line, the same result.
    const bool aktuell = Schema::upgrade(m_db, reason, erreicht, version);
    // A log without its chain yet (a user who may not add the columns) is
    // written as before.
    m_kette = erreicht >= 6;
    m_befristungen = erreicht >= Schema::VersionBefristungen;
    m_funktionen = false;
    if (isPostgres() && erreicht >= Schema::Version) {
        // A database whose functions are another build's gets this one's, when
        // this user may; else the commands run statement by statement.
        QString fehler;
        if (erreicht != version) Schema::version(m_db, fehler, &fingerabdruck);
        m_funktionen = Schema::funktionenAbgleichen(m_db, fingerabdruck, fehler) != Schema::Funktionen::Fehlen;
    }
    // A role that may only call them cannot run the commands without them.
    if (isPostgres() && !m_funktionen && !m_ungesichert)
        m_schemaFehler =
            QStringLiteral("Die Datenbank %1 ist nicht auf dem Stand dieses Programms, und diese Datenbankrolle "
                           "darf sie nicht erneuern.\r\nNiemand kann sich anmelden, bis ein Verwalter der Datenbank "
                           "\"korval-db upgrade --server %2 --port %3 --namespace %1\" ausgeführt hat.")
                .arg(target->ns, target->server, target->port);
    if (!aktuell && erreicht < Schema::VersionFuerAenderungen)
        m_schemaFehler =
            QStringLiteral("Der Datenbank %1 fehlt %2 (Schema Version %3, nötig %4), und es kann nicht angelegt "
                           "werden: %5\r\nÄnderungen werden nicht gespeichert, bis ein Verwalter der Datenbank "
                           "\"korval-db upgrade --server %6 --port %7 --namespace %1\" ausgeführt hat.")
                .arg(target->ns,
                     Schema::logDa(m_db) ? QStringLiteral("ein Teil des Änderungsprotokolls")
                                         : QStringLiteral("das Änderungsprotokoll"))
                .arg(erreicht)
                .arg(Schema::VersionFuerAenderungen)
                .arg(reason.simplified(), target->server, target->port);
    m_lost = false;
    // A new server process: nobody is signed on at it.
    m_anmeldung.reset();
    m_herausforderung.clear();
    if (isPostgres()) alteSitzungenBeenden();
    m_interpreter.locals().clear();
    m_walPfad.clear();
    if (!isPostgres()) {
        // Checkpoints run when the connection goes idle or closes, or after a
        // commit once the log has grown large, never inside a user's command.
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        q.exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(WalGrenze));
        m_walPfad = target->filePath + QStringLiteral("-wal");
    }
    return true;
}

namespace {
// Server processes of connections lost on this workstation, by connection
// string: whichever client connects there next ends them (the program makes
// a new client for each connection).
QMutex g_verlorenSperre;
QHash<QString, QStringList> g_verloren;
} // namespace

void SqlCacheFactory::alteSitzungenBeenden() {
    QStringList alt;
    {
        QMutexLocker l(&g_verlorenSperre);
        alt = g_verloren.take(m_ziel);
    }
    for (const QString& s : alt)
        alteSitzungBeenden(s);
}

void SqlCacheFactory::alteSitzungBeenden(const QString& sitzung) {
    const QString pid = sitzung.section(QLatin1Char('|'), 0, 0), beginn = sitzung.section(QLatin1Char('|'), 1);
    QSqlQuery q(m_db);
    // The start time tells the process from a later one with the same number.
    q.prepare(QStringLiteral("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE pid = ? "
                             "AND backend_start = CAST(? AS timestamptz)"));
    q.addBindValue(pid.toInt());
    q.addBindValue(beginn);
    q.exec();
    // Not ours to end (another role): wait until the server ended it itself,
    // which it does once it notices that its client is gone.
    QElapsedTimer uhr;
    uhr.start();
    q.prepare(QStringLiteral("SELECT 1 FROM pg_stat_activity WHERE pid = ? AND backend_start = CAST(? AS timestamptz)"));
    q.bindValue(0, pid.toInt());
    q.bindValue(1, beginn);
    while (uhr.elapsed() < 10000) {
        if (!q.exec() || !q.next()) break;
        QThread::msleep(100);
    }
}

QString SqlCacheFactory::sicherungshinweis() const {
    if (!isPostgres() || !m_ungesichert) return {};
    const auto target = ConnectionTarget::parse(m_ziel);
    return QStringLiteral("Die Datenbank %1 ist nicht gesichert: die Datenbankrolle dieses Arbeitsplatzes darf "
                          "Berechtigungen und das Änderungsprotokoll an der Benutzerverwaltung vorbei ändern.\r\n"
                          "Ein Verwalter der Datenbank sichert sie mit \"korval-db upgrade --server %2 --port %3 "
                          "--namespace %1 --anwendungsrolle NAME\"; die Arbeitsplätze melden sich dann mit der "
                          "Rolle NAME an.")
        .arg(target ? target->ns : QString(), target ? target->server : QString(),
             target ? target->port : QString());
}

bool SqlCacheFactory::IsConnected() {
    return !m_lost && m_db.isValid() && m_db.isOpen();
}

void SqlCacheFactory::Disconnect() {
    if (m_lost && !m_serverSitzung.isEmpty()) {
        QMutexLocker l(&g_verlorenSperre);
        g_verloren[m_ziel].append(m_serverSitzung);
    }
    m_serverSitzung.clear();
    ++m_sitzung;
    m_transactionDepth = 0;
    m_vorrat.clear();
    m_beginAusstehend = m_einzelAufruf = m_befehlErledigt = false;
    m_nurZuruecknehmen = false;
    m_statements.clear();
    if (!m_walPfad.isEmpty() && m_db.isOpen() && !m_lost) {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    // The driver goes first: prepared statements die with the session, and
    // freeing them one by one on a dead connection only prints warnings.
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    m_statementStore.clear();
    m_unvorbereitet.clear();
}

void SqlCacheFactory::requireConnection() const {
    if (m_lost || !m_db.isValid() || !m_db.isOpen())
        raise(Fehlernummer::NichtVerbunden, QStringLiteral("<DISCONNECT> keine Verbindung zum Server"));
}

CacheObjektPtr SqlCacheFactory::OpenId(const QString& klasse, const QString& id) {
    requireConnection();
    const ClassDef* cls = findClass(klasse);
    if (!cls || cls->newOnly)
        raise(Fehlernummer::UnbekannteKlasse, QStringLiteral("<CLASS DOES NOT EXIST> %1").arg(klasse));
    auto o = std::make_unique<SqlObjekt>(*this, *cls, false);
    o->load(id);
    return o;
}

CacheObjektPtr SqlCacheFactory::New(const QString& klasse) {
    requireConnection();
    const ClassDef* cls = findClass(klasse);
    if (!cls) raise(Fehlernummer::UnbekannteKlasse, QStringLiteral("<CLASS DOES NOT EXIST> %1").arg(klasse));
    return std::make_unique<SqlObjekt>(*this, *cls, true);
}

CacheObjektPtr SqlCacheFactory::Klassenmethoden(const QString& klasse) {
    requireConnection();
    // The change log has class methods only: no object of it can be opened or changed.
    static const ClassDef protokoll{QStringLiteral("UserVerwaltung.Protokoll"), QStringLiteral("uv_protokoll"), {}, {},
                                    std::nullopt};
    if (klasse.compare(protokoll.name, Qt::CaseInsensitive) == 0) return std::make_unique<SqlKlasse>(*this, protokoll);
    // Nor are the rules of incompatible rights: their class methods change them.
    static const ClassDef regel{QStringLiteral("UserVerwaltung.Regel"), QStringLiteral("uv_regel"), {}, {}, std::nullopt};
    if (klasse.compare(regel.name, Qt::CaseInsensitive) == 0) return std::make_unique<SqlKlasse>(*this, regel);
    const ClassDef* cls = findClass(klasse);
    if (!cls) raise(Fehlernummer::UnbekannteKlasse, QStringLiteral("<CLASS DOES NOT EXIST> %1").arg(klasse));
    return std::make_unique<SqlKlasse>(*this, *cls);
}

CacheAbfragePtr SqlCacheFactory::Abfrage(const QString& klasse, const QString& abfrage) {
    requireConnection();
    const QueryDef* q = findQuery(klasse, abfrage);
    if (!q) {
        if (!findClass(klasse))
            raise(Fehlernummer::UnbekannteKlasse, QStringLiteral("<CLASS DOES NOT EXIST> %1").arg(klasse));
        raise(Fehlernummer::UnbekannteAbfrage,
              QStringLiteral("<QUERY DOES NOT EXIST> %1:%2").arg(klasse, abfrage));
    }
    return std::make_unique<SqlAbfrage>(*this, *q, klasse + QLatin1Char(':') + abfrage);
}

// SQLite takes the write lock at the start, so that two workstations saving at
// once wait for each other instead of failing halfway.
bool SqlCacheFactory::Steuerbefehl(const QString& sql, QString& warum) {
    ++m_statementsRun; // a round trip like any statement
    if (isPostgres()) {
        ++m_rundreisen;
        const bool ok = sql == QLatin1String("BEGIN")    ? m_db.transaction()
                        : sql == QLatin1String("COMMIT") ? m_db.commit()
                                                         : m_db.rollback();
        if (!ok) warum = m_db.lastError().text();
        return ok;
    }
    QSqlQuery q(m_db);
    if (q.exec(sql == QLatin1String("BEGIN") ? QStringLiteral("BEGIN IMMEDIATE") : sql)) return true;
    warum = q.lastError().text();
    return false;
}

void SqlCacheFactory::TransaktionBeginnen() {
    requireConnection();
    QString warum;
    if (m_transactionDepth == 0) {
        m_vorrat.clear();
        m_befehlErledigt = false;
        if (isPostgres())
            m_beginAusstehend = true;
        else if (!Steuerbefehl(QStringLiteral("BEGIN"), warum)) {
            gesperrtMelden(warum, {});
            raise(Fehlernummer::Transaktion,
                  QStringLiteral("<TRANSACTION> Beginn fehlgeschlagen: %1").arg(warum));
        }
        m_nurZuruecknehmen = false;
        m_geloeschteGruppen.clear();
    }
    ++m_transactionDepth;
}

bool SqlCacheFactory::VerbindungLebt() {
    if (!m_db.isOpen()) return false;
    QSqlQuery probe(m_db);
    return probe.exec(QStringLiteral("SELECT 1"));
}

// Only the outermost commit writes; a part that failed inside makes it roll back.
void SqlCacheFactory::TransaktionBestaetigen() {
    if (m_transactionDepth <= 0) return;
    if (m_transactionDepth == 1) m_ausnahme = m_ausnahmeDauerhaft;
    if (--m_transactionDepth > 0) return;
    QString warum;
    if (std::exchange(m_beginAusstehend, false)) {
        // Nothing was sent, or one command call that the server committed.
        m_nurZuruecknehmen = false;
        return;
    }
    if (m_nurZuruecknehmen) {
        m_nurZuruecknehmen = false;
        Steuerbefehl(QStringLiteral("ROLLBACK"), warum);
        raise(Fehlernummer::Transaktion,
              QStringLiteral("<TRANSACTION> zurückgenommen, weil ein Teil fehlschlug"));
    }
    if (m_vorBestaetigen) std::exchange(m_vorBestaetigen, {})();
    const Bruch bruch = std::exchange(m_bruch, Bruch::Keiner);
    if (bruch == Bruch::VorCommit) {
        m_vorrat.clear();
        Steuerbefehl(QStringLiteral("ROLLBACK"), warum);
        m_lost = true;
        raise(Fehlernummer::AusgangUnbekannt,
              QStringLiteral("<DISCONNECT> Verbindung beim Bestätigen verloren (eingespeist)"));
    }
    if (!Steuerbefehl(QStringLiteral("COMMIT"), warum)) {
        m_vorrat.clear();
        // The commit's own error is the one to report, not the rollback's.
        if (!VerbindungLebt()) {
            m_lost = true;
            raise(Fehlernummer::AusgangUnbekannt,
                  QStringLiteral("<DISCONNECT> Verbindung beim Bestätigen verloren: %1").arg(warum));
        }
        QString nebenbei;
        Steuerbefehl(QStringLiteral("ROLLBACK"), nebenbei);
        raise(Fehlernummer::Transaktion,
              QStringLiteral("<TRANSACTION> Bestätigen fehlgeschlagen: %1").arg(warum));
    }
    WalBegrenzen();
    if (bruch == Bruch::NachCommit) {
        m_lost = true;
        raise(Fehlernummer::AusgangUnbekannt,
              QStringLiteral("<DISCONNECT> Verbindung nach dem Bestätigen verloren (eingespeist)"));
    }
}

void SqlCacheFactory::WalBegrenzen() {
    if (m_walPfad.isEmpty() || QFileInfo(m_walPfad).size() < WalGrenze) return;
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
}

void SqlCacheFactory::TransaktionZuruecknehmen() {
    if (m_transactionDepth <= 0) return;
    if (m_transactionDepth == 1) m_ausnahme = m_ausnahmeDauerhaft;
    if (--m_transactionDepth > 0) {
        m_nurZuruecknehmen = true;
        return;
    }
    m_nurZuruecknehmen = false;
    // What the commands of this transaction answered is not the server's state now.
    m_vorrat.clear();
    if (std::exchange(m_beginAusstehend, false)) return;
    QString warum;
    if (m_db.isOpen() && !m_lost) Steuerbefehl(QStringLiteral("ROLLBACK"), warum);
}

QSqlQuery& SqlCacheFactory::statement(const QString& sql) {
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        if (m_unvorbereitet.remove(*it) && !(*it)->prepare(sql)) failed(**it);
        return **it;
    }
    auto q = std::make_unique<QSqlQuery>(m_db);
    q->setForwardOnly(true);
    QSqlQuery* p = q.get();
    // On the server a prepared statement costs a round trip of its own before
    // its first run: a statement is prepared on its second use, its first run
    // sends the values in the text, as the driver's EXECUTE does.
    if (isPostgres())
        m_unvorbereitet.insert(p, sql);
    else if (!q->prepare(sql))
        failed(*q);
    m_statementStore.push_back(std::move(q));
    m_statements.insert(sql, p);
    return *p;
}

QString SqlCacheFactory::mitWerten(const QString& sql, const QVariantList& binds) const {
    // The same formatting as the driver's EXECUTE: each "?" outside quotes
    // becomes its value, quoted and escaped by the driver.
    QString text;
    text.reserve(sql.size() + 16 * binds.size());
    QChar quote;
    qsizetype n = 0;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?') && n < binds.size()) {
            const QVariant& v = binds[n++];
            QSqlField feld(QString(), v.metaType());
            if (v.typeId() == QMetaType::QString && v.toString().isNull())
                feld.setValue(QString::fromLatin1(""));
            else if (!v.isNull())
                feld.setValue(v);
            text += m_db.driver()->formatValue(feld);
            continue;
        }
        text += c;
    }
    return text;
}

void SqlCacheFactory::run(QSqlQuery& q, const QVariantList& binds) {
    m_vorrat.clear();
    if (m_beginAusstehend && !m_einzelAufruf) {
        // A command call that was its transaction cannot be joined by more.
        if (m_befehlErledigt)
            raise(Fehlernummer::Transaktion,
                  QStringLiteral("<TRANSACTION> nach einem ganzen Befehl keine weitere Anweisung"));
        QString warum;
        if (!Steuerbefehl(QStringLiteral("BEGIN"), warum)) {
            gesperrtMelden(warum, {});
            raise(Fehlernummer::Transaktion, QStringLiteral("<TRANSACTION> Beginn fehlgeschlagen: %1").arg(warum));
        }
        m_beginAusstehend = false;
    }
    ++m_statementsRun;
    if (isPostgres() || m_imProzess == 0) ++m_rundreisen;
    if (m_failAfter > 0 && --m_failAfter == 0)
        raise(Fehlernummer::Datenbank, QStringLiteral("<STORE> eingespeister Fehler"));
    if (m_vorherNach > 0 && --m_vorherNach == 0 && m_vorher) m_vorher();
    if (const auto roh = m_unvorbereitet.constFind(&q); roh != m_unvorbereitet.cend()) {
        if (!q.exec(mitWerten(*roh, binds))) failed(q);
        return;
    }
    for (int i = 0; i < binds.size(); ++i) {
        // A null text is an empty text here, never SQL NULL.
        const QVariant& v = binds[i];
        if (v.typeId() == QMetaType::QString && v.toString().isNull())
            q.bindValue(i, QString::fromLatin1(""));
        else
            q.bindValue(i, v);
    }
    if (!q.exec()) failed(q);
}

void SqlCacheFactory::gesperrtMelden(const QString& text, const QString& state) const {
    // Another workstation's lock outlasted the wait: nothing was stored.
    if (isPostgres() ? state == QLatin1String("55P03")
                     : state == QLatin1String("5") || text.contains(QLatin1String("database is locked")))
        raise(Fehlernummer::Gesperrt,
              isPostgres() ? QStringLiteral("<GESPERRT> Der Datensatz wird gerade an einem anderen Arbeitsplatz "
                                            "geändert. Bitte später noch einmal versuchen.")
                           : QStringLiteral("<GESPERRT> Ein anderer Arbeitsplatz speichert gerade. Bitte später "
                                            "noch einmal versuchen."));
}

void SqlCacheFactory::failed(const QSqlQuery& q) {
    const QSqlError e = q.lastError();
    QString text = e.databaseText().trimmed();
    if (text.isEmpty()) text = e.text();
    const QString state = e.nativeErrorCode();
    if (state.startsWith(QLatin1String("KV"))) {
        // A server function's own error: its number, and its message without
        // the server's frame ("ERROR:  " before it, the context lines and the
        // code after it); names in it may hold line breaks and brackets.
        QString meldung = e.databaseText();
        const QString code = QStringLiteral("(%1)").arg(state);
        if (meldung.endsWith(code)) meldung.chop(code.size());
        const qsizetype kontext = meldung.lastIndexOf(QLatin1String("\nCONTEXT:"));
        if (kontext >= 0) meldung.truncate(kontext);
        const qsizetype anfang = meldung.indexOf(QLatin1Char('<'));
        raise(state.mid(2).toInt(), meldung.mid(std::max<qsizetype>(anfang, 0)).chopped(meldung.endsWith(QLatin1Char('\n')) ? 1 : 0));
    }
    gesperrtMelden(text, state);
    if (isPostgres() && (state.isEmpty() || state.startsWith(QLatin1String("08")) ||
                         state.startsWith(QLatin1String("57P")))) {
        // A dropped server shows as a failing statement: probe, and let the
        // connected test report the loss so that the next operation reconnects.
        if (!VerbindungLebt()) {
            m_lost = true;
            raise(Fehlernummer::Verbindungsabbruch,
                  QStringLiteral("<DISCONNECT> Verbindung zum Server verloren: %1").arg(text));
        }
    }
    raise(Fehlernummer::Datenbank, QStringLiteral("<SQL> %1").arg(text));
}

std::vector<QString> SqlCacheFactory::selectFlat(const QString& sql, const QVariantList& binds, int columns) {
    requireConnection();
    QSqlQuery& q = statement(sql);
    run(q, binds);
    std::vector<QString> werte;
    while (q.next())
        for (int i = 0; i < columns; ++i)
            werte.push_back(q.value(i).toString());
    q.finish();
    return werte;
}

QSqlQuery& SqlCacheFactory::selectStream(const QString& sql, const QVariantList& binds) {
    requireConnection();
    QSqlQuery& q = statement(sql);
    run(q, binds);
    return q;
}

bool SqlCacheFactory::weiter(QSqlQuery& q) {
    if (q.next()) return true;
    const bool fehler = q.lastError().isValid();
    q.finish();
    if (fehler) failed(q);
    return false;
}

std::vector<QStringList> SqlCacheFactory::select(const QString& sql, const QVariantList& binds, int columns) {
    const std::vector<QString> werte = selectFlat(sql, binds, columns);
    std::vector<QStringList> rows;
    rows.reserve(werte.size() / static_cast<size_t>(std::max(columns, 1)));
    for (size_t i = 0; i + static_cast<size_t>(columns) <= werte.size(); i += static_cast<size_t>(columns))
        rows.emplace_back(werte.begin() + static_cast<long>(i),
                          werte.begin() + static_cast<long>(i) + columns);
    return rows;
}

int SqlCacheFactory::execute(const QString& sql, const QVariantList& binds) {
    requireConnection();
    QSqlQuery& q = statement(sql);
    run(q, binds);
    const int n = q.numRowsAffected();
    q.finish();
    return n;
}

namespace {
// An id of several parts can be split back only when no part contains the
// separator and none begins or ends with "|": "a|" + "||" + "b" and
// "a" + "||" + "|b" are the same id.
bool badKeyPart(const ClassDef& cls, const QString& part) {
    if (part.contains(QLatin1String("||"))) return true;
    return cls.keyColumns.size() > 1 && (part.startsWith(QLatin1Char('|')) || part.endsWith(QLatin1Char('|')));
}

} // namespace

void checkKey(const ClassDef& cls, const QStringList& key) {
    for (const QString& k : key)
        if (badKeyPart(cls, k))
            raise(Fehlernummer::UngueltigeId,
                  QStringLiteral("<INVALID ID> %1: \"%2\" ist als Teil einer Id nicht eindeutig")
                      .arg(cls.name, k));
}

QStringList SqlCacheFactory::splitId(const ClassDef& cls, const QString& id) const {
    const QStringList parts = id.split(QStringLiteral("||"));
    if (parts.size() != cls.keyColumns.size())
        raise(Fehlernummer::UngueltigeId, QStringLiteral("<INVALID ID> %1: Id %2 hat %3 statt %4 Teile")
                                              .arg(cls.name, id)
                                              .arg(parts.size())
                                              .arg(cls.keyColumns.size()));
    checkKey(cls, parts);
    if (cls.integerKey) {
        bool ok = false;
        parts.front().toInt(&ok);
        if (!ok)
            raise(Fehlernummer::UngueltigeId,
                  QStringLiteral("<INVALID ID> %1: Id %2 ist keine Zahl").arg(cls.name, id));
    }
    return parts;
}

QVariantList SqlCacheFactory::keyBinds(const ClassDef& cls, const QStringList& key) const {
    QVariantList b;
    for (const QString& k : key)
        b.append(cls.integerKey ? QVariant(k.toInt()) : QVariant(k));
    return b;
}

QString SqlCacheFactory::keyWhere(const ClassDef& cls) {
    QString where;
    for (const QString& k : cls.keyColumns)
        where += (where.isEmpty() ? QString() : QStringLiteral(" AND ")) + k + QStringLiteral(" = ?");
    return where;
}

SysListPtr SqlCacheFactory::loadList(const ClassDef& cls, const QStringList& key) {
    auto list = std::make_shared<SysList>();
    const auto rows = select(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY pos")
                                 .arg(cls.list->valueColumn, cls.list->table, keyWhere(cls)),
                             keyBinds(cls, key), 1);
    list->Werte().reserve(rows.size());
    for (const QStringList& r : rows)
        list->Append(r.front());
    return list;
}

void SqlCacheFactory::listeSpeichern(const ClassDef& cls, const QStringList& key, const SysList& list) {
    if (!mitFunktionen()) return saveList(cls, key, list);
    Baustein b(*this);
    // Only an existing record's list, as below; the functions store it.
    checkKey(cls, key);
    if (select(QStringLiteral("SELECT 1 FROM %1 WHERE %2").arg(cls.table, keyWhere(cls)), keyBinds(cls, key), 1).empty())
        raise(Fehlernummer::ObjektFehlt, QStringLiteral("<LOADOBJ> %1: kein Objekt mit der Id %2")
                                             .arg(cls.name, key.join(QStringLiteral("||"))));
    if (cls.table == QLatin1String("uv_gruppen"))
        gruppeSpeichern(key.front(), list, SysList(), 0);
    else
        stufeSpeichern(key, list, SysList(), 0, true);
}

void SqlCacheFactory::saveList(const ClassDef& cls, const QStringList& key, const SysList& list, bool neu) {
    checkKey(cls, key);
    Guard g(*this);
    const QVariantList kb = keyBinds(cls, key);
    // On PostgreSQL the record's row lock makes saves of the same list take turns.
    const QString sperre = isPostgres() ? QStringLiteral(" FOR UPDATE") : QString();
    if (select(QStringLiteral("SELECT 1 FROM %1 WHERE %2%3").arg(cls.table, keyWhere(cls), sperre), kb, 1)
            .empty())
        raise(Fehlernummer::ObjektFehlt, QStringLiteral("<LOADOBJ> %1: kein Objekt mit der Id %2")
                                             .arg(cls.name, key.join(QStringLiteral("||"))));
    const SysListPtr vorher = loadList(cls, key);
    // A group's members are shown sorted: the same values in another order
    // store and log nothing. A level keeps the order it was given.
    const bool reihenfolgeZaehlt = cls.table == QLatin1String("uv_programm");
    if (!neu &&
        (reihenfolgeZaehlt ? vorher->Werte() == list.Werte() : Protokoll::GleicheMenge(vorher->Werte(), list.Werte()))) {
        g.commit();
        return;
    }
    const Regelpruefung regeln = regelnVorher(!reihenfolgeZaehlt, key, vorher->Werte(), list.Werte());
    execute(QStringLiteral("DELETE FROM %1 WHERE %2").arg(cls.list->table, keyWhere(cls)), kb);
    // Rows go in blocks of up to 100 per statement; each block size is prepared once.
    constexpr int Block = 100;
    const QString cols = cls.keyColumns.join(QStringLiteral(", "));
    QString zeile = QStringLiteral("(") +
                    QStringLiteral("?, ").repeated(static_cast<int>(cls.keyColumns.size())) +
                    QStringLiteral("?, ?)");
    const std::vector<QString>& werte = list.Werte();
    for (size_t anfang = 0; anfang < werte.size(); anfang += Block) {
        const size_t n = std::min<size_t>(Block, werte.size() - anfang);
        QStringList zeilen;
        for (size_t i = 0; i < n; ++i)
            zeilen.append(zeile);
        QVariantList b;
        for (size_t i = 0; i < n; ++i) {
            b.append(kb);
            b.append(static_cast<int>(anfang + i + 1));
            b.append(werte[anfang + i]);
        }
        execute(QStringLiteral("INSERT INTO %1 (%2, pos, %3) VALUES %4")
                    .arg(cls.list->table, cols, cls.list->valueColumn, zeilen.join(QStringLiteral(", "))),
                b);
    }
    const qint64 nr =
        neu ? protokollieren(QStringLiteral("anlegen"), Objektname(cls, key), QString(), Protokoll::Json(list.Werte()))
            : protokollieren(QStringLiteral("speichern"), Objektname(cls, key), Protokoll::Json(vorher->Werte()),
                             Protokoll::Json(list.Werte()));
    // A member that left takes its end date along.
    if (!reihenfolgeZaehlt) befristungenBereinigen({key.front()}, nr);
    regelnNachher(regeln, nr);
    g.commit();
}

void SqlCacheFactory::checkList(const ClassDef& cls, const QStringList& key, const SysList& erwartet,
                                bool vorhanden) {
    checkKey(cls, key);
    if (mitFunktionen()) {
        Baustein b(*this);
        QJsonArray k;
        for (const QString& t : key)
            k.append(t);
        befehlAufrufen(QStringLiteral("uv_liste_pruefen"),
                       {rechner(), cls.list && cls.table == QLatin1String("uv_gruppen") ? QStringLiteral("g")
                                                                                         : QStringLiteral("s"),
                        QString::fromUtf8(QJsonDocument(k).toJson(QJsonDocument::Compact)),
                        Protokoll::Json(erwartet.Werte()), vorhanden ? 1 : 2});
        return;
    }
    Guard g(*this);
    const bool da = sperren(cls, key, !vorhanden);
    if (!vorhanden && da) {
        const int n = loadList(cls, key)->Count();
        raise(Fehlernummer::KonfliktVorhanden,
              QStringLiteral("<KONFLIKT> %1 besteht bereits mit %2 %3")
                  .arg(Objektname(cls, key))
                  .arg(n)
                  .arg(n == 1 ? QStringLiteral("Eintrag") : QStringLiteral("Einträgen")));
    }
    if (vorhanden && !da)
        raise(Fehlernummer::KonfliktGeloescht,
              QStringLiteral("<KONFLIKT> %1 wurde inzwischen gelöscht").arg(Objektname(cls, key)));
    if (vorhanden && !Protokoll::GleicheMenge(loadList(cls, key)->Werte(), erwartet.Werte()))
        raise(Fehlernummer::Konflikt,
              QStringLiteral("<KONFLIKT> %1 wurde inzwischen geändert").arg(Objektname(cls, key)));
    g.commit();
}

bool SqlCacheFactory::sperren(const ClassDef& cls, const QStringList& key, bool namensSperre) {
    // A record that is not there has no row to lock: two workstations creating
    // it take turns on its name instead. The name always before the row, in
    // every command, so that no two wait for each other crosswise.
    if (namensSperre && isPostgres())
        select(QStringLiteral("SELECT pg_catalog.pg_advisory_xact_lock(pg_catalog.hashtextextended(?, 0))"),
               {cls.table + QLatin1Char('|') + key.join(QStringLiteral("||"))}, 1);
    // On PostgreSQL the row lock holds until the caller's transaction ends; SQLite
    // holds the write lock from the transaction's start.
    const QString sperre = isPostgres() ? QStringLiteral(" FOR UPDATE") : QString();
    return !select(QStringLiteral("SELECT 1 FROM %1 WHERE %2%3").arg(cls.table, keyWhere(cls), sperre),
                   keyBinds(cls, key), 1)
                .empty();
}

QString SqlCacheFactory::checkGroups(const QStringList& key, const SysList& gruppen, const SysList* geladen) {
    const ClassDef& stufe = *findClass(QStringLiteral("UserVerwaltung.Programm"));
    checkKey(stufe, key);
    const SysListPtr bisher = geladen ? std::make_shared<SysList>(*geladen) : loadList(stufe, key);
    std::vector<QString> neu;
    for (const QString& g : gruppen.Werte())
        if (std::find(bisher->Werte().begin(), bisher->Werte().end(), g) == bisher->Werte().end() &&
            std::find(neu.begin(), neu.end(), g) == neu.end())
            neu.push_back(g);
    if (neu.empty()) return QStringLiteral("[]");
    if (mitFunktionen()) {
        Baustein b(*this);
        const QJsonArray da = QJsonDocument::fromJson(befehlAufrufen(QStringLiteral("uv_gruppen_sperren"),
                                                                     {rechner(), Protokoll::Json(neu)})
                                                          .toUtf8())
                                  .array();
        std::vector<QString> fehlend;
        for (const QString& n : neu)
            if (!da.contains(n)) fehlend.push_back(n);
        return Protokoll::Json(fehlend);
    }
    Guard g(*this);
    // Groups are locked before levels by every command: a group delete waits
    // for this save, or this save sees the group gone.
    const auto da = select(QStringLiteral("SELECT gruppe FROM uv_gruppen WHERE gruppe IN (%1) ORDER BY gruppe%2")
                               .arg(Schema::jsonWerteSql(m_db),
                                    isPostgres() ? QStringLiteral(" FOR SHARE") : QString()),
                           {Protokoll::Json(neu)}, 1);
    std::vector<QString> fehlend;
    for (const QString& n : neu)
        if (std::none_of(da.begin(), da.end(), [&](const QStringList& r) { return r.front() == n; }))
            fehlend.push_back(n);
    g.commit();
    return Protokoll::Json(fehlend);
}

int SqlCacheFactory::withdrawGroup(const QString& gruppe) {
    Baustein b(*this);
    if (mitFunktionen())
        return befehlAufrufen(QStringLiteral("uv_gruppe_entziehen"),
                              {rechner(), gruppe, m_geloeschteGruppen.value(gruppe, 0)})
            .toInt();
    // Positions may keep gaps: lists are read in position order only.
    Guard g(*this);
    // Every level that holds the group is locked first, in the order all
    // commands lock levels: the entry then names exactly what is deleted.
    if (isPostgres())
        select(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM uv_programm p WHERE EXISTS (SELECT 1 FROM "
                              "uv_programm_gruppe s WHERE s.gruppe = ? AND s.programmname = p.programmname AND "
                              "s.subprogramm = p.subprogramm AND s.berechtigungsstufe = p.berechtigungsstufe) "
                              "ORDER BY p.programmname, p.subprogramm, p.berechtigungsstufe FOR UPDATE) x"),
               {gruppe}, 1);
    entzugProtokollieren(gruppe);
    const int n = execute(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE gruppe = ?"), {gruppe});
    g.commit();
    return n;
}

int SqlCacheFactory::deleteLevels(const QString& programm, const QString& subprogramm) {
    Guard g(*this);
    const QString wo = QStringLiteral(" WHERE programmname = ? AND (CAST(? AS TEXT) = '' OR subprogramm = ?)");
    const QVariantList b{programm, subprogramm, subprogramm};
    // The levels in the order every command locks them; the entry holds each
    // level with its groups, all that the delete removes.
    if (isPostgres())
        select(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM uv_programm") + wo +
                   QStringLiteral(" ORDER BY programmname, subprogramm, berechtigungsstufe FOR UPDATE) x"),
               b, 1);
    const QString inhalt =
        m_protokoll ? Stufeninhalt(QStringLiteral(" WHERE p.programmname = ? AND (CAST(? AS TEXT) = '' OR "
                                                  "p.subprogramm = ?)"),
                                   b)
                    : QString();
    execute(QStringLiteral("DELETE FROM uv_programm_gruppe") + wo, b);
    const int n = execute(QStringLiteral("DELETE FROM uv_programm") + wo, b);
    if (n > 0)
        protokollieren(QStringLiteral("löschen"),
                       subprogramm.isEmpty() ? QStringLiteral("Programm ") + programm
                                             : QStringLiteral("Unterprogramm ") + programm +
                                                   QStringLiteral("||") + subprogramm,
                       inhalt, QStringLiteral("{}"));
    g.commit();
    return n;
}

void SqlCacheFactory::saveObject(const ClassDef& cls, bool isNew, QHash<QString, QString>& values,
                                 const SysList* list) {
    if (cls.integerKey && isNew && values.value(cls.keyColumns.front()).isEmpty()) {
        const auto rows = select(
            QStringLiteral("SELECT COALESCE(MAX(%1), 0) + 1 FROM %2").arg(cls.keyColumns.front(), cls.table),
            {}, 1);
        values.insert(cls.keyColumns.front(), rows.front().front());
    }
    QStringList key;
    for (const QString& k : cls.keyColumns) {
        const QString v = values.value(k);
        if (v.isEmpty())
            raise(Fehlernummer::UngueltigerWert, QStringLiteral("<REQUIRED> %1: %2 fehlt").arg(cls.name, k));
        key.append(v);
    }
    checkKey(cls, key);
    // With the server's functions every logged write is theirs: the
    // workstations' role may not write those tables itself.
    if (mitFunktionen() && cls.list) {
        Baustein b(*this);
        const SysList leer;
        const SysList& l = list ? *list : isNew ? leer : *loadList(cls, key);
        if (cls.table == QLatin1String("uv_gruppen"))
            gruppeSpeichern(key.front(), l, leer, 0);
        else
            stufeSpeichern(key, l, leer, 0, true);
        return;
    }
    if (mitFunktionen() && cls.table == QLatin1String("kv_kassasw")) {
        Baustein b(*this);
        QJsonObject felder;
        for (const PropertyDef& p : cls.properties)
            if (values.contains(p.column) && !cls.isKeyColumn(p.column)) felder.insert(p.column, values.value(p.column));
        befehlAufrufen(QStringLiteral("uv_verbindung"),
                       {rechner(), key.front().toInt(), isNew,
                        QString::fromUtf8(QJsonDocument(felder).toJson(QJsonDocument::Compact))});
        return;
    }
    Guard g(*this);
    const bool protokoll = cls.table == QLatin1String("kv_kassasw");
    const QString vorher = protokoll && !isNew ? Felder(cls, key) : QString();
    QStringList cols;
    QVariantList binds;
    for (const PropertyDef& p : cls.properties) {
        if (!values.contains(p.column) && !cls.isKeyColumn(p.column)) continue;
        cols.append(p.column);
        binds.append(p.integer ? QVariant(values.value(p.column).toInt()) : QVariant(values.value(p.column)));
    }
    if (isNew) {
        QString marks = QStringLiteral("?, ").repeated(static_cast<int>(cols.size()));
        marks.chop(2);
        // A record that is nothing but its id is the same record when another
        // workstation has just stored it: creating it twice must not fail.
        bool nurId = true;
        for (const PropertyDef& p : cls.properties)
            nurId = nurId && cls.isKeyColumn(p.column);
        const int neu = execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)%4")
                                    .arg(cls.table, cols.join(QStringLiteral(", ")), marks,
                                         nurId ? QStringLiteral(" ON CONFLICT DO NOTHING") : QString()),
                                binds);
        // Every creation is logged, an empty one too: undoing it deletes the
        // record. With its list it is one entry, as it is one command.
        if (neu > 0 && cls.list && !list)
            protokollieren(QStringLiteral("anlegen"), Objektname(cls, key), QString(), QStringLiteral("[]"));
        if (cls.list && list) saveList(cls, key, *list, neu > 0);
        list = nullptr;
    } else {
        QStringList sets;
        QVariantList b;
        for (int i = 0; i < cols.size(); ++i) {
            if (cls.isKeyColumn(cols[i])) continue;
            sets.append(cols[i] + QStringLiteral(" = ?"));
            b.append(binds[i]);
        }
        b.append(keyBinds(cls, key));
        if (!sets.isEmpty() && execute(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                           .arg(cls.table, sets.join(QStringLiteral(", ")), keyWhere(cls)),
                                       b) == 0)
            raise(Fehlernummer::ObjektFehlt, QStringLiteral("<LOADOBJ> %1: kein Objekt mit der Id %2")
                                                 .arg(cls.name, key.join(QStringLiteral("||"))));
    }
    if (cls.list && list) saveList(cls, key, *list);
    if (protokoll) {
        const QString nachher = Felder(cls, key);
        if (nachher != vorher)
            protokollieren(isNew ? QStringLiteral("anlegen") : QStringLiteral("speichern"), Objektname(cls, key),
                           vorher, nachher);
    }
    g.commit();
}

void SqlCacheFactory::deleteObject(const ClassDef& cls, const QString& id) {
    const QStringList key = splitId(cls, id);
    if (mitFunktionen() && (cls.list || cls.table == QLatin1String("kv_kassasw"))) {
        // A record gone already is an error here, as below.
        Baustein b(*this);
        QString da;
        if (cls.table == QLatin1String("uv_gruppen"))
            da = gruppeLoeschen(key.front(), SysList(), 0);
        else if (cls.list)
            da = stufeLoeschen(key, SysList(), 0);
        else
            da = befehlAufrufen(QStringLiteral("uv_verbindung"), {rechner(), key.front().toInt(), false, QVariant()});
        if (da != QLatin1String("1"))
            raise(Fehlernummer::ObjektFehlt, QStringLiteral("<DELETE> %1: kein Objekt mit der Id %2").arg(cls.name, id));
        return;
    }
    Guard g(*this);
    const QVariantList kb = keyBinds(cls, key);
    const bool protokoll = cls.list || cls.table == QLatin1String("kv_kassasw");
    // The record's row first, as every command locks it before its list.
    if (isPostgres())
        select(QStringLiteral("SELECT 1 FROM %1 WHERE %2 FOR UPDATE").arg(cls.table, keyWhere(cls)), kb, 1);
    const QString vorher =
        !protokoll ? QString() : cls.list ? Protokoll::Json(loadList(cls, key)->Werte()) : Felder(cls, key);
    if (cls.list) execute(QStringLiteral("DELETE FROM %1 WHERE %2").arg(cls.list->table, keyWhere(cls)), kb);
    if (execute(QStringLiteral("DELETE FROM %1 WHERE %2").arg(cls.table, keyWhere(cls)), kb) == 0)
        raise(Fehlernummer::ObjektFehlt,
              QStringLiteral("<DELETE> %1: kein Objekt mit der Id %2").arg(cls.name, id));
    if (protokoll) {
        const qint64 nr = protokollieren(QStringLiteral("löschen"), Objektname(cls, key), vorher, QString());
        if (cls.table == QLatin1String("uv_gruppen")) m_geloeschteGruppen.insert(key.front(), nr);
        if (cls.table == QLatin1String("uv_gruppen")) befristungenBereinigen({key.front()}, nr);
    }
    g.commit();
}

std::optional<QString> SqlCacheFactory::getGlobal(const QString& name, const QStringList& subs) {
    if (auto v = vorratNehmen(QStringLiteral("g|") + name + SubscriptSeparator + subs.join(SubscriptSeparator)))
        return v->da ? std::optional<QString>(v->werte.front()) : std::nullopt;
    const auto rows = select(QStringLiteral("SELECT wert FROM m_global WHERE name = ? AND subs = ?"),
                             {name, subs.join(SubscriptSeparator)}, 1);
    if (rows.empty()) return std::nullopt;
    return rows.front().front();
}

void SqlCacheFactory::setGlobal(const QString& name, const QStringList& subs, const QString& value) {
    execute(QStringLiteral("INSERT INTO m_global (name, subs, wert) VALUES (?, ?, ?) "
                           "ON CONFLICT (name, subs) DO UPDATE SET wert = excluded.wert"),
            {name, subs.join(SubscriptSeparator), value});
}

void SqlCacheFactory::killGlobal(const QString& name, const QStringList& subs) {
    execute(QStringLiteral("DELETE FROM m_global WHERE name = ? AND subs = ?"),
            {name, subs.join(SubscriptSeparator)});
}

void SqlCacheFactory::startSession(const QString& firma, const QString& fil, const QString& personal) {
    // The session's start answers with the company record (^FA(0)), which
    // every sign-on reads next: one request less on a slow line.
    // With the server's functions it also brings the challenge for the sign-on.
    const auto rows = select(QStringLiteral("INSERT INTO m_sitzung (beginn, firma, fil, personal) VALUES (?, ?, ?, ?) "
                                            "RETURNING (SELECT wert FROM m_global WHERE name = 'FA' AND subs = '0'), "
                                            "(SELECT COUNT(*) FROM m_global WHERE name = 'FA' AND subs = '0'), %1")
                                 .arg(mitFunktionen() ? QStringLiteral("uv_herausforderung()") : QStringLiteral("''")),
                             {QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs), firma, fil, personal}, 3);
    if (rows.empty()) return;
    if (mitFunktionen()) m_herausforderung = rows.front()[2];
    Vorrat v;
    v.da = rows.front()[1] != QLatin1String("0");
    v.werte.push_back(rows.front()[0]);
    if (m_vorrat.isEmpty()) m_vorratZeit.start();
    m_vorrat.insert(QStringLiteral("g|FA") + SubscriptSeparator + QStringLiteral("0"), std::move(v));
}

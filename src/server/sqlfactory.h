#pragma once
// The database client over Qt SQL: one QSqlDatabase connection per factory,
// statements prepared once per connection, values only as bound parameters.

#include "database/cacheclient.h"
#include "klassen.h"
#include "minterpreter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <utility>

// Why a connection failed, in a few German words (never with credentials).
QString Verbindungsgrund(const QString& meldung);
// Raises when a part of an id cannot be split back from it.
void checkKey(const ClassDef& cls, const QStringList& key);

class SqlCacheFactory final : public CacheFactory, private MGlobalStore {
  public:
    SqlCacheFactory();
    ~SqlCacheFactory() override;

    bool Connect(const QString& connStrg) override;
    bool IsConnected() override;
    void Disconnect() override;
    QString LetzterFehler() const override { return m_lastError; }
    CacheObjektPtr OpenId(const QString& klasse, const QString& id) override;
    CacheObjektPtr New(const QString& klasse) override;
    CacheObjektPtr Klassenmethoden(const QString& klasse) override;
    CacheAbfragePtr Abfrage(const QString& klasse, const QString& abfrage) override;
    void TransaktionBeginnen() override;
    void TransaktionBestaetigen() override;
    void TransaktionZuruecknehmen() override;

    // Fault injection for tests: the n-th statement from now fails (0 = off),
    // or runs `vorher` just before it (to cut the connection, say).
    void setFailAfter(int statements) { m_failAfter = statements; }
    // Measuring only: the same commands without their log entries.
    void setProtokoll(bool an) { m_protokoll = an; }
    void setVorAnweisung(int statements, std::function<void()> vorher) {
        m_vorherNach = statements;
        m_vorher = std::move(vorher);
    }
    int statementsRun() const { return m_statementsRun; }
    // Requests the client sent to the server: on PostgreSQL every statement,
    // transaction control included; on SQLite, which runs in the program's
    // process, every read or server method the client asked for (a method
    // counts once, whatever it runs), transaction control not counted.
    long rundreisen() const { return m_rundreisen; }
    // A server method running in this process (SQLite): one request.
    class ImProzess {
      public:
        explicit ImProzess(SqlCacheFactory& f) : m_f(f), m_vorher(f.m_statementsRun) {
            if (!m_f.isPostgres()) ++m_f.m_imProzess;
        }
        // A method that reached the database is one request; a conversion is none.
        ~ImProzess() {
            if (!m_f.isPostgres() && --m_f.m_imProzess == 0 && m_f.m_statementsRun != m_vorher) ++m_f.m_rundreisen;
        }
        ImProzess(const ImProzess&) = delete;
        ImProzess& operator=(const ImProzess&) = delete;

      private:
        SqlCacheFactory& m_f;
        int m_vorher;
    };
    // Fault injection at the next outermost commit: the connection breaks
    // after the commit went through, or before it did.
    enum class Bruch { Keiner, NachCommit, VorCommit };
    void setBruchBeimBestaetigen(Bruch b) { m_bruch = b; }
    // Run just before the next outermost COMMIT (to cut the connection, say).
    void setVorBestaetigen(std::function<void()> vorher) { m_vorBestaetigen = std::move(vorher); }
    bool isPostgres() const;

    // Used by the objects and queries of this factory.
    std::vector<QStringList> select(const QString& sql, const QVariantList& binds, int columns);
    // The same, row after row in one vector.
    std::vector<QString> selectFlat(const QString& sql, const QVariantList& binds, int columns);
    // A result read row by row as the caller asks for them, for results too
    // large to hold: the statement stays busy until it is read to its end or
    // finished. `weiter` reports a failure while reading like any other.
    QSqlQuery& selectStream(const QString& sql, const QVariantList& binds);
    bool weiter(QSqlQuery& q);
    // Counts the connections closed: a statement of an earlier one is gone.
    long Sitzung() const { return m_sitzung; }
    int execute(const QString& sql, const QVariantList& binds);
    QString xecute(const QString& line) { return m_interpreter.execute(line); }
    void saveObject(const ClassDef& cls, bool isNew, QHash<QString, QString>& values, const SysList* list);
    void deleteObject(const ClassDef& cls, const QString& id);
    // `neu`: the record was just created; its one entry is the creation with this list.
    void saveList(const ClassDef& cls, const QStringList& key, const SysList& list, bool neu = false);
    // The class methods SaveCodes/SaveGruppen: saveList, or with the server's functions through them.
    void listeSpeichern(const ClassDef& cls, const QStringList& key, const SysList& list);
    // Class method GruppeEntziehen: the group leaves every program level at once.
    int withdrawGroup(const QString& gruppe);
    // Locks the record and compares it with what the caller knows: its list
    // (as a multiset) or, with `vorhanden` false, that there is none. Raises
    // Konflikt, KonfliktGeloescht or KonfliktVorhanden. Meant inside the
    // caller's transaction.
    // Locks the record (its name first when asked); whether it is there.
    bool sperren(const ClassDef& cls, const QStringList& key, bool namensSperre);
    void checkList(const ClassDef& cls, const QStringList& key, const SysList& erwartet, bool vorhanden = true);
    // Class method GruppenPruefen: the groups a level save would newly grant
    // that have no record, as a JSON list; the others are locked against a
    // concurrent delete until the caller's transaction ends.
    // Compared with `geladen` (the list as the caller loaded it) when given, else with the stored list.
    QString checkGroups(const QStringList& key, const SysList& gruppen, const SysList* geladen = nullptr);
    // Class method Rueckgaengig of the change log: the plan that takes back
    // entry `nr` (JSON: plan, its mark, whether it was stored); with `erwartet`
    // the mark of the plan the caller was shown, that plan is applied and
    // logged if it is still the plan now.
    QString undo(qint64 nr, const QString& erwartet);
    // The same for an entry of an end date or a rule (`eintrag`: command, record, before, after).
    QString undoFeld(qint64 nr, const QStringList& eintrag, const QString& erwartet);
    // Why changes cannot be stored on this database ("" when they can).
    QString schemaFehler() const { return m_schemaFehler; }
    // PostgreSQL: said once after a sign-on when this role may write past the functions.
    QString sicherungshinweis() const;
    // Class method Kopieren of the groups: a new group `ziel` with the members
    // of `quelle` and a grant on each of its levels, as asked; JSON with the
    // numbers copied. Raises KonfliktVorhanden when `ziel` exists.
    QString copyGroup(const QString& quelle, const QString& ziel, bool mitglieder, bool stufen);
    // Class method RechteUebernehmen of the groups: `code` joins each group of
    // `gruppen` (JSON [[name, [members as read]], …]), each checked against the
    // members read; all or none.
    QString rechteUebernehmen(const QString& code, const QString& gruppen);
    // Class methods Befristen and Ablauf of the groups: a member's end date
    // set (`bis` YYYY-MM-DD) or removed (`bis` ""), "1" when it changed; and
    // every membership whose date lies before `heute` ended, as JSON
    // [[group, code, date, reason], …].
    QString befristen(const QString& gruppe, const QString& code, const QString& bis, const QString& grund);
    QString ablauf(const QString& heute);
    // The end dates of codes that are no longer members of `gruppen` (of any
    // group when empty) go; with `nr` each is logged "mit entfernt", tied to
    // that entry (the change that removed the member), so its undo brings it
    // back; without, as left behind by another program, "ohne Mitglied entfernt".
    void befristungenBereinigen(const QStringList& gruppen = {}, std::optional<qint64> nr = std::nullopt);
    // Undoing entry `eintrag`: the dates its change removed come back where
    // the member is back without one, logged "befristen" and tied to `nr`.
    void befristungenZurueck(qint64 eintrag, qint64 nr);
    bool befristungenDa() const { return m_befristungen; }
    // An end date and its reason as the log shows them, '' for none.
    static QString befristungsfelder(const QString& bis, const QString& grund);
    // An end date that comes back as an undo's preview says it, with the warning when its day is past.
    static QString befristungText(const QString& bis, const QString& grund);
    // What an undo's plan does to end dates, for its preview: [{objekt, text}, …].
    QJsonArray befristungsHinweise(qint64 eintrag, const QJsonArray& plan);
    void setAusnahme(const QString& grund) { m_ausnahme = grund; }
    // korval-db --ausnahme: the reason for every command of this connection.
    void setAusnahmeDauerhaft(const QString& grund) { m_ausnahme = m_ausnahmeDauerhaft = grund; }
    // Rules of incompatible rights (regeln.cpp): the SQLite side of what the
    // server's functions do. Before a list is stored (`vorher`, `liste`): what
    // it grants and the violations that already were; after it: refused, or
    // the exceptions stored and logged, tied to entry `nr`.
    struct Regelpruefung {
        QStringList codes, regeln, vorher;
    };
    struct VerstossSeiten {
        QStringList seite1, seite2;
    };
    // The violations of `codes` under `regeln`, by code and rule, with the groups of each side.
    std::map<std::pair<QString, QString>, VerstossSeiten> verstoesseVon(const QStringList& codes,
                                                                        const QStringList& regeln);
    Regelpruefung regelnVorher(bool gruppe, const QStringList& key, const std::vector<QString>& vorher,
                               const std::vector<QString>& liste);
    // The same for `codes` joining `gruppen` and the members of `neueGruppen` joining the levels `stufen`.
    Regelpruefung regelnVorher(const QStringList& gruppen, const std::vector<QStringList>& stufen,
                               const QStringList& codes, const QStringList& neueGruppen);
    void regelnNachher(const Regelpruefung& p, qint64 nr);
    // Class methods of the rules: stored (`neu`: created) or deleted, logged; "1" when it changed.
    QString regelSpeichern(const QString& name, const QString& beschreibung, const QStringList& seiten, bool neu);
    QString regelLoeschen(const QString& name);
    // The stored rule whose name is `name` apart from case ('' when none), the same name first.
    QString GleicherName(const QString& name);
    // Class method StufenLoeschen: every level of a program (sub-program empty)
    // or of one sub-program, with their group lists.
    int deleteLevels(const QString& programm, const QString& subprogramm);
    // The main window's commands, each one server method that checks the
    // record against what the window knows (`pruefen`: 0 not asked, 1 the
    // list `geladen`, 2 no record), changes and logs it, and answers with
    // what the window reloads next (taken from the store below). Results:
    // "1" created / "1" it was there (deletes); the levels deleted.
    QString gruppeSpeichern(const QString& gruppe, const SysList& liste, const SysList& geladen, int pruefen);
    QString gruppeLoeschen(const QString& gruppe, const SysList& geladen, int pruefen);
    QString stufeSpeichern(const QStringList& key, const SysList& liste, const SysList& geladen, int pruefen,
                           bool gruppenErlaubt);
    QString stufeLoeschen(const QStringList& key, const SysList& geladen, int pruefen);
    QString stufenLoeschen(const QString& programm, const QString& subprogramm);
    // What a command's answer carried: a query's rows (row after row) or a
    // level and its groups. Each is taken once, and only until the next
    // statement reaches the server.
    struct Vorrat {
        std::vector<QString> werte;
        bool da = true;
        QHash<QString, QString> felder; // a record's columns (else its key's)
    };
    // Class method Anmeldedaten of the employees: the user's record, and for an
    // active administrator whose password matches, what the sign-on and the
    // window read next, all in one request (taken from the store above).
    // Answers "1" when the password was right and the user active; the password
    // itself never travels (a proof over a challenge used once) and is never answered.
    // With `heute` (YYYY-MM-DD), an administrator's sign-on first ends the
    // memberships whose date has passed (see ablauf).
    QString anmeldedaten(const QString& firma, const QString& code, const QString& passwort,
                         const QString& heute = QString());
    // Class method CodeSuchen of the employees: the code of the company's
    // active user with this password, the password again never sent.
    QString codeSuchen(const QString& firma, const QString& passwort);
    // The signed-on user of this connection, when the sign-on succeeded.
    struct Anmeldung {
        QString firma, filiale, code;
        bool verwalter = false;
    };
    const std::optional<Anmeldung>& angemeldet() const { return m_anmeldung; }
    // Class method Listen of the groups: the employees of the company, the
    // groups and the programs, for the reads that follow (the store above).
    QString listen(const QString& firma);
    // A record's fields by column, or that it is not there (one request).
    // `zusatz`: columns read besides the properties.
    std::pair<QString, Vorrat> objektLesen(const ClassDef& cls, const QStringList& key, const QStringList& zusatz = {});
    // A level's groups in their order, or nothing when the level is not there (one request).
    std::optional<std::vector<QString>> stufeMitGruppen(const QStringList& key);
    std::optional<Vorrat> vorratNehmen(const QString& schluessel);
    void vorratLegen(const QString& schluessel, std::vector<QString> werte) {
        if (m_vorrat.isEmpty()) m_vorratZeit.start();
        m_vorrat.insert(schluessel, {std::move(werte), true, {}});
    }
    static QString abfrageSchluessel(const QString& name, const QStringList& parameter);
    static QString objektSchluessel(const QString& klasse, const QString& id);
    SysListPtr loadList(const ClassDef& cls, const QStringList& key);
    QStringList splitId(const ClassDef& cls, const QString& id) const;
    QVariantList keyBinds(const ClassDef& cls, const QStringList& key) const;

    // Begin/commit around one server method; rolls back when left by an exception.
    class Guard {
      public:
        explicit Guard(SqlCacheFactory& f) : m_f(f) { m_f.TransaktionBeginnen(); }
        ~Guard() {
            if (!m_done) m_f.TransaktionZuruecknehmen();
        }
        void commit() {
            m_f.TransaktionBestaetigen();
            m_done = true;
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        SqlCacheFactory& m_f;
        bool m_done = false;
    };

    static QString keyWhere(const ClassDef& cls);

  private:
    // befehle.cpp
    bool mitFunktionen() const;
    // What a command function gets besides its arguments: the workstation's
    // name (the server takes the user from the session).
    QVariant rechner() const;
    // The proof of a password: HMAC-SHA256 keyed by it over "challenge|company|code".
    static QString beweis(const QString& herausforderung, const QString& firma, const QString& code,
                          const QString& passwort);
    // The challenge for the next sign-on: the one the last answer brought, else a request.
    QString herausforderungNehmen();
    // Refuses (error 119) a change without an administrator signed on.
    void berechtigungPruefen() const;
    std::optional<Anmeldung> m_anmeldung;
    QString m_herausforderung;
    QString befehlAufrufen(const QString& funktion, const QVariantList& binds);
    // Creates the record with `liste` when it is missing; whether it did.
    bool anlegen(const ClassDef& cls, const QStringList& key, const SysList& liste);
    static void teileVorhanden(const ClassDef& cls, const QStringList& key);
    // In this process the store is filled directly, without the text of an answer.
    using Vorratsliste = std::vector<std::pair<QString, Vorrat>>;
    std::pair<QString, Vorrat> abfrageLesen(const QString& klasse, const QString& abfrage, const QStringList& parameter);
    std::pair<QString, Vorrat> stufeLesen(const QStringList& key);
    Vorratsliste listenLesen(const QString& firma);
    void vorratAufnehmen(const QJsonArray& eintraege);
    void vorratAufnehmen(Vorratsliste&& eintraege);
    QHash<QString, Vorrat> m_vorrat;
    // The store serves what the window reads right after, never an old state.
    static constexpr qint64 VorratMs = 2000;
    QElapsedTimer m_vorratZeit;
    // The database has the command functions (PostgreSQL).
    bool m_funktionen = false;
    // PostgreSQL: BEGIN goes with the transaction's first statement, so that
    // a transaction that is one command call needs no BEGIN and no COMMIT. Such
    // a call is its transaction: nothing may follow it, and it cannot be taken
    // back afterwards (the commands are whole; their callers send nothing else).
    bool m_beginAusstehend = false;
    bool m_einzelAufruf = false;
    bool m_befehlErledigt = false;
    long m_rundreisen = 0;
    int m_imProzess = 0;
    long m_sitzung = 0;
    bool m_protokoll = true;
    bool m_kette = true;
    bool m_befristungen = false;
    // The reason for exceptions to the rules of incompatible rights that the
    // commands of the running transaction may grant (class method Ausnahme).
    QString m_ausnahme, m_ausnahmeDauerhaft;
    QString m_schemaFehler;
    bool m_ungesichert = false;
    // A function called as one step of the caller's transaction (the older
    // class methods), not as the whole of it: BEGIN goes first.
    bool m_baustein = false;
    struct Baustein {
        explicit Baustein(SqlCacheFactory& f) : m_f(f), m_vorher(std::exchange(f.m_baustein, true)) {}
        ~Baustein() { m_f.m_baustein = m_vorher; }
        Baustein(const Baustein&) = delete;
        Baustein& operator=(const Baustein&) = delete;
        SqlCacheFactory& m_f;
        bool m_vorher;
    };
    // The change log (protokoll.cpp). Every entry's first columns: company,
    // branch and code of the session's user context, workstation, command, record.
    QVariantList Kopf(const QString& befehl, const QString& objekt);
    // One change log entry, in the running transaction; returns its number.
    // `bezug`: the entry an undo takes back, or the group delete a withdrawal belongs to.
    qint64 protokollieren(const QString& befehl, const QString& objekt, const QString& vorher,
                          const QString& nachher, qint64 bezug = 0);
    // Groups deleted in the running transaction, with their entries' numbers.
    QHash<QString, qint64> m_geloeschteGruppen;
    // Undo (rueckgaengig.cpp): records by their log names, read under lock, and a plan applied.
    static const ClassDef& Klasse(const QString& objekt);
    static QStringList Schluessel(const QString& objekt);
    // `nurWerte`: of the levels only these values are read (lists then partial).
    void Lesen(const std::vector<QString>& objekte, std::map<QString, std::optional<std::vector<QString>>>& jetzt,
               const QStringList* nurWerte = nullptr);
    void Anwenden(const QJsonArray& plan);
    static QString Objektname(const ClassDef& cls, const QStringList& key);
    // A record's fields as a JSON object, for the log ("" when it does not exist).
    QString Felder(const ClassDef& cls, const QStringList& key);
    // The levels `wo` selects (on uv_programm p), each with its groups, as a JSON object.
    QString Stufeninhalt(const QString& wo, const QVariantList& binds);
    // The entry for a group leaving every level: which levels, as often as it held them.
    void entzugProtokollieren(const QString& gruppe);
    // The entry for a copied group's grants: every level that holds it, tied to its creation `bezug`.
    void berechtigungProtokollieren(const QString& gruppe, qint64 bezug);
    // Both: the group's levels as one entry, before (withdrawn) or after (granted).
    void stufenProtokollieren(const QString& befehl, const QString& gruppe, qint64 bezug, bool entzogen);
    // The log's chain on the program's own path: writers take turns, and the
    // entries just written get their hashes.
    void kettenSperre();
    void verketten(qint64 nr);
    std::optional<QString> getGlobal(const QString& name, const QStringList& subs) override;
    void setGlobal(const QString& name, const QStringList& subs, const QString& value) override;
    void killGlobal(const QString& name, const QStringList& subs) override;
    void startSession(const QString& firma, const QString& fil, const QString& personal) override;

    void requireConnection() const;
    bool Steuerbefehl(const QString& sql, QString& warum);
    bool VerbindungLebt();
    // SQLite: a log beyond this size is checkpointed after the commit.
    static constexpr qint64 WalGrenze = 64LL * 1024 * 1024;
    void WalBegrenzen();
    QString m_walPfad;
    QSqlQuery& statement(const QString& sql);
    QString mitWerten(const QString& sql, const QVariantList& binds) const;
    void run(QSqlQuery& q, const QVariantList& binds);
    [[noreturn]] void failed(const QSqlQuery& q);

    QString m_name;
    QSqlDatabase m_db;
    QHash<QString, QSqlQuery*> m_statements;
    std::vector<std::unique_ptr<QSqlQuery>> m_statementStore;
    // Statements not yet prepared on the server, with their text.
    QHash<const QSqlQuery*, QString> m_unvorbereitet;
    MInterpreter m_interpreter;
    QString m_lastError;
    int m_transactionDepth = 0;
    // An inner part failed: the outermost transaction may only roll back.
    bool m_nurZuruecknehmen = false;
    Bruch m_bruch = Bruch::Keiner;
    std::function<void()> m_vorBestaetigen;
    bool m_lost = false;
    // PostgreSQL: this connection's server process, "pid|start".
    QString m_serverSitzung;
    // After a lost connection: the old server process is ended before anything
    // is read back, so that a call still waiting there cannot commit later.
    void alteSitzungBeenden(const QString& sitzung);
    void alteSitzungenBeenden();
    QString m_ziel; // the connection string connected to
    // Raises error 118 when a failure means another workstation's lock.
    void gesperrtMelden(const QString& text, const QString& state) const;
    int m_failAfter = 0;
    int m_vorherNach = 0;
    std::function<void()> m_vorher;
    int m_statementsRun = 0;
};

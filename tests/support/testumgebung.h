#pragma once
// What every test of the program needs: scripted dialogs, a clock that waits in
// no time, settings in a temporary place, a fresh demo database on the backend
// the test run names (KORVAL_TEST_BACKEND=sqlite|postgres), and the windows.

#include "database/cacheclient.h"
#include "platform/clock.h"
#include "platform/dialogservice.h"
#include "platform/settingsstore.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class FMPass;
class FMServer;
class frmProgrammverlauf;
class SqlCacheFactory;

struct Gezeigt {
    QString art; // "MsgBox", "InputBox", "Modal", "Speicherort", "Auswahl"
    QString titel;
    QString text;
    int stil = 0; // for "Auswahl": the button Enter presses
    QWidget* fenster = nullptr;
};

class ScriptedDialogs final : public DialogService {
  public:
    int MsgBox(const QString& text, int style, const QString& title) override;
    QString InputBox(const QString& prompt, const QString& title, const QString& vorgabe) override;
    void ShowModal(QWidget* window, QWidget* owner) override;
    QString Speicherort(const QString& titel, const QString& vorgabe, const QString& filter) override;
    int Auswahl(const QString& text, const QString& titel, const QStringList& knoepfe, int standard = 0) override;

    std::vector<Gezeigt> gezeigt;
    std::deque<QString> dateien; // for "save as"; "" (cancelled) when empty
    std::deque<int> auswahl;     // for questions with own buttons; the last button when empty
    std::deque<std::function<void()>> waehrendAuswahl; // run while such a question is open
    std::deque<int> antworten;    // for message boxes; Ok or No when empty
    std::deque<QString> eingaben; // for input boxes; "" when empty
    // Run when a window is shown modally: what the user does in it.
    std::deque<std::function<void(QWidget*)>> modal;

    int Anzahl(const QString& art) const;
    const Gezeigt* Letzte(const QString& art) const;
};

class FakeClock final : public Clock {
  public:
    // Starts again from 0 at midnight, as the real clock does.
    double SecondsSinceMidnight() const override { return std::fmod(m_sekunden, 86400.0); }
    QDateTime Now() const override { return jetzt; }
    void WaitStep(int ms) override {
        m_sekunden += ms / 1000.0;
        gewartetMs += ms;
    }
    void setSekunden(double s) { m_sekunden = s; }
    QDateTime jetzt = QDateTime(QDate(2026, 12, 7), QTime(10, 5, 3, 123));
    long long gewartetMs = 0;

  private:
    double m_sekunden = 36000;
};

// A database with the demo company, new for each test.
// PostgreSQL: the program's connections (libpq's PGUSER) use the
// workstations' role that init sets up; while one of these lives, they use
// the database owner's role instead (init, upgrade, purging the log).
class AlsEigentuemer {
  public:
    AlsEigentuemer();
    ~AlsEigentuemer();
    AlsEigentuemer(const AlsEigentuemer&) = delete;
    AlsEigentuemer& operator=(const AlsEigentuemer&) = delete;
    // The owner's role name, as the test run started with it.
    static QString Rolle();

  private:
    QByteArray m_vorher;
};

class Testdatenbank {
  public:
    static bool IstPostgres();
    // Skips (or fails with CI=true) when the backend cannot be had.
    static bool Verfuegbar(QString& warum);
    Testdatenbank();
    ~Testdatenbank();
    QString ConnStrg() const { return m_connStrg; }
    QString Server() const { return m_server; }
    QString Port() const { return m_port; }
    QString Namespace() const { return m_ns; }
    bool Ok() const { return m_ok; }
    // A second client of the same database.
    // Another workstation's connection, its administrator SOM signed on.
    CacheFactoryPtr NeuerClient() const;
    // Rows of a statement run straight on the server's tables, beside the
    // client interface; each value as text, columns joined by ";".
    QStringList Sql(const QString& sql, const QVariantList& werte = {}) const;
    // A connection of another program (on PostgreSQL as the owner), open
    // while `arbeit` runs: to hold locks the way no workstation's role can.
    void Direkt(const std::function<void(QSqlDatabase&)>& arbeit) const;
    // A statement that changes the tables straight, as another program would.
    void SqlAendern(const QString& sql, const QVariantList& werte = {}) const;
    // A database from before the server checked names: names another program
    // stored ("||", "|" at an end) can be written by hand.
    void OhneNamensregeln() const;
    // A statement that may be refused: its first rows' first values, or why not.
    // `alsAnwendung`: on PostgreSQL as the workstations' role, the program's login.
    bool SqlVersuchen(const QString& sql, QString& ergebnis, bool alsAnwendung = false) const;
    // Every record with its list as a sorted multiset, read directly.
    QStringList Tabellen() const;
    // A group's member codes in stored order, joined by ",", read from its table.
    QString Mitglieder(const QString& gruppe) const;
    // PostgreSQL: the login role the program connects with.
    QString Anwendungsrolle() const { return m_anwendungsrolle; }

  private:
    QTemporaryDir m_dir;
    QString m_server, m_port, m_ns, m_connStrg, m_anwendungsrolle;
    bool m_ok = false;
};

class Testumgebung {
  public:
    explicit Testumgebung(bool mitDatenbank = true);
    ~Testumgebung();

    // A valid command line naming the demo database.
    QString Kommandozeile(const QString& code = QStringLiteral("ADM"),
                          const QString& pw = QStringLiteral("demo")) const;
    // Signs on through the command line; true on success.
    bool Anmelden(const QString& code = QStringLiteral("ADM"), const QString& pw = QStringLiteral("demo"));
    SqlCacheFactory* Factory() const;
    // A direct look at the server, through a second client.
    QStringList Abfrage(const QString& klasse, const QString& abfrage, const QStringList& parameter = {},
                        int spalten = 1) const;
    QStringList Liste(const QString& klasse, const QString& id, const QString& eigenschaft) const;
    bool Existiert(const QString& klasse, const QString& id) const;
    QStringList Verlaufszeilen() const;
    // Every group with its members and every level with its groups, as text.
    QStringList Bestand() const;
    // Runs a change through a second client.
    void Aendern(const std::function<void(CacheFactory&)>& f) const;

    ScriptedDialogs dialoge;
    FakeClock uhr;
    QTemporaryDir temp;
    std::unique_ptr<IniSettingsStore> einstellungen;
    std::unique_ptr<Testdatenbank> db;
    std::unique_ptr<FMServer> server;
    std::unique_ptr<FMPass> login;
    std::unique_ptr<frmProgrammverlauf> verlauf;
    int beendet = 0;

  private:
    mutable CacheFactoryPtr m_blick;
    CacheFactory& Blick() const;
};

class CtList;
class FMStart;
class QComboBox;
// For each test function: a new environment with its database and a main
// window (the old ones go first, the window before its environment); false
// when the database could not be made. Abbauen takes both down.
bool NeuAufbauen(std::unique_ptr<Testumgebung>& u, std::unique_ptr<FMStart>& w);
void Abbauen(std::unique_ptr<Testumgebung>& u, std::unique_ptr<FMStart>& w);
// A main window that belongs to the environment's login dialog and viewer.
std::unique_ptr<FMStart> Hauptfenster(Testumgebung& u);
// Start-up as users start: settings stored, signed on through the login dialog
// as ADM (or `code`), the window shown.
bool Starten(Testumgebung& u, FMStart& w);
bool Starten(Testumgebung& u, FMStart& w, const QString& code, const QString& pw);
// In the login dialog, shown: types code and password and clicks the sign-on button.
void AmDialogAnmelden(Testumgebung& u, const QString& code, const QString& pw);
// Types text key by key, umlauts and other letters beyond ASCII included.
void Eintippen(QWidget* w, const QString& text);
// A left click in the middle of a widget.
void Klicken(QWidget* w);
// Where row `zeile` of a list lies, in the coordinates of its window.
QPoint ZeilenPunkt(CtList* liste, int zeile);
// A left click, or a double-click, on a row of a list.
void ZeileKlicken(CtList* liste, int zeile);
void ZeileDoppelklicken(CtList* liste, int zeile);
// A CSV text back into rows of fields (quotes, ";" and line breaks inside
// quotes); a last line without CR LF is left out.
QList<QStringList> CsvLesen(const QString& text);
// A list value of a client, filled with `werte`.
SysListPtr Liste(CacheFactory& f, const QStringList& werte);
// What a list or a combo box shows, row by row.
QStringList ListenZeilen(const CtList* liste);
QStringList KomboEintraege(const QComboBox* box);

// In a test function: skip or fail when the backend is missing.
#define KORVAL_BACKEND_PRUEFEN()                                                                             \
    do {                                                                                                     \
        QString warum_;                                                                                      \
        if (!Testdatenbank::Verfuegbar(warum_)) {                                                            \
            if (qEnvironmentVariable("CI") == QLatin1String("true")) QFAIL(qPrintable(warum_));              \
            QSKIP(qPrintable(warum_));                                                                       \
        }                                                                                                    \
    } while (false)

// Signs on at a connection of its own, as the program does (for changes).
bool AlsVerwalter(CacheFactory& f, const QString& code = QStringLiteral("ADM"),
                 const QString& passwort = QStringLiteral("demo"));

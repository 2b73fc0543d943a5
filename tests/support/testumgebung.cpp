#include "testumgebung.h"

#include "auxwindows/frmprogrammverlauf.h"
#include "mainwindow/fmstart.h"
#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "datenbankwerkzeug.h"
#include "platform/plattform.h"
#include "server/sqlfactory.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"
#include "util/csv.h"
#include "util/programmverlauf.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QSqlRecord>
#include <QTest>
#include <QTimer>
#include <QTreeView>

int ScriptedDialogs::MsgBox(const QString& text, int style, const QString& title) {
    gezeigt.push_back({QStringLiteral("MsgBox"), title, text, style, nullptr});
    if (!antworten.empty()) {
        const int a = antworten.front();
        antworten.pop_front();
        return a;
    }
    return (style & 0x7) == YesNo ? No : Ok;
}

QString ScriptedDialogs::InputBox(const QString& prompt, const QString& title, const QString&) {
    gezeigt.push_back({QStringLiteral("InputBox"), title, prompt, 0, nullptr});
    if (eingaben.empty()) return {};
    QString s = eingaben.front();
    eingaben.pop_front();
    return s;
}

void ScriptedDialogs::ShowModal(QWidget* window, QWidget*) {
    gezeigt.push_back({QStringLiteral("Modal"), window->windowTitle(), window->objectName(), 0, window});
    if (!modal.empty()) {
        auto aktion = std::move(modal.front());
        modal.pop_front();
        aktion(window);
    }
}

QString ScriptedDialogs::Speicherort(const QString& titel, const QString& vorgabe, const QString&) {
    gezeigt.push_back({QStringLiteral("Speicherort"), titel, vorgabe, 0, nullptr});
    if (dateien.empty()) return {};
    QString s = dateien.front();
    dateien.pop_front();
    return s;
}

int ScriptedDialogs::Auswahl(const QString& text, const QString& titel, const QStringList& knoepfe, int standard) {
    gezeigt.push_back({QStringLiteral("Auswahl"), titel, text, standard, nullptr});
    // What happens elsewhere while the question is open.
    if (!waehrendAuswahl.empty()) {
        auto f = std::move(waehrendAuswahl.front());
        waehrendAuswahl.pop_front();
        if (f) f();
    }
    if (auswahl.empty()) return static_cast<int>(knoepfe.size()) - 1;
    const int a = auswahl.front();
    auswahl.pop_front();
    return a;
}

int ScriptedDialogs::Anzahl(const QString& art) const {
    int n = 0;
    for (const Gezeigt& g : gezeigt)
        n += g.art == art;
    return n;
}

const Gezeigt* ScriptedDialogs::Letzte(const QString& art) const {
    for (auto it = gezeigt.rbegin(); it != gezeigt.rend(); ++it)
        if (it->art == art) return &*it;
    return nullptr;
}

bool Testdatenbank::IstPostgres() {
    return qEnvironmentVariable("KORVAL_TEST_BACKEND") == QLatin1String("postgres");
}

bool Testdatenbank::Verfuegbar(QString& warum) {
    if (!IstPostgres()) return true;
    if (qEnvironmentVariableIsEmpty("PGHOST")) {
        warum = QStringLiteral(
            "kein PostgreSQL-Server (PGHOST fehlt; ./test.sh startet einen mit pg_virtualenv)");
        return false;
    }
    return true;
}

AlsEigentuemer::AlsEigentuemer() : m_vorher(qgetenv("PGUSER")) {
    qputenv("PGUSER", Rolle().toUtf8());
}

AlsEigentuemer::~AlsEigentuemer() {
    qputenv("PGUSER", m_vorher);
}

QString AlsEigentuemer::Rolle() {
    static const QString rolle = qEnvironmentVariable("PGUSER");
    return rolle;
}

namespace {
// One PostgreSQL database per test process, emptied for each test.
QString PgDatenbank() {
    return QStringLiteral("korval_test_%1_%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QCoreApplication::applicationName().toLower().remove(QLatin1Char('-')));
}

bool PgLeeren(const DatenbankZiel& ziel) {
    const QString name = QStringLiteral("korval-test-leeren");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(ziel.server);
        db.setPort(ziel.port.toInt());
        db.setDatabaseName(ziel.ns);
        db.setUserName(AlsEigentuemer::Rolle());
        if (db.open()) {
            QSqlQuery q(db);
            // What a test may have left on the change log goes too.
            q.exec(QStringLiteral("DROP TRIGGER IF EXISTS kein_protokoll ON uv_protokoll"));
            q.exec(QStringLiteral("DROP FUNCTION IF EXISTS kein_protokoll()"));
            ok = q.exec(
                QStringLiteral("TRUNCATE kv_parpersedv, kv_parpersabt, kv_persbasis, kv_kassasw, "
                               "uv_gruppen_pcode, uv_gruppen, uv_programm_gruppe, uv_programm, m_global, "
                               "m_sitzung, uv_protokoll, uv_befristung, uv_regel, uv_ausnahme RESTART IDENTITY"));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
} // namespace

Testdatenbank::Testdatenbank() {
    QTextStream aus(stderr);
    DatenbankZiel ziel;
    if (IstPostgres()) {
        ziel.server = qEnvironmentVariable("PGHOST");
        ziel.port = qEnvironmentVariable("PGPORT", QStringLiteral("5432"));
        ziel.ns = PgDatenbank();
        ziel.anwendungsrolle = ziel.ns + QStringLiteral("_app");
        AlsEigentuemer eigentuemer;
        static bool angelegt = false;
        if (!angelegt) {
            angelegt = Datenbankwerkzeug::Init(ziel, aus);
            m_ok = angelegt;
        } else {
            // A test may have taken the schema back to an older version.
            m_ok = Datenbankwerkzeug::Init(ziel, aus) && PgLeeren(ziel);
        }
        m_ok = m_ok && Datenbankwerkzeug::Demo(ziel, aus);
    } else {
        ziel.server = m_dir.path();
        ziel.ns = QStringLiteral("KORVAL");
        m_ok = Datenbankwerkzeug::Init(ziel, aus) && Datenbankwerkzeug::Demo(ziel, aus);
    }
    m_server = ziel.server;
    m_port = ziel.port;
    m_ns = ziel.ns;
    m_connStrg = ziel.connStrg();
    m_anwendungsrolle = ziel.anwendungsrolle;
    if (IstPostgres() && m_ok) {
        // The program connects as the workstations do: as the role that may
        // only read and call the functions (with the run's password).
        SqlAendern(QStringLiteral("ALTER ROLE \"%1\" PASSWORD '%2'")
                       .arg(m_anwendungsrolle, qEnvironmentVariable("PGPASSWORD").replace(QLatin1Char('\''),
                                                                                         QStringLiteral("''"))));
        qputenv("PGUSER", m_anwendungsrolle.toUtf8());
    }
}

Testdatenbank::~Testdatenbank() = default;

CacheFactoryPtr Testdatenbank::NeuerClient() const {
    auto f = NeueCacheFactory();
    if (f->Connect(m_connStrg)) AlsVerwalter(*f, QStringLiteral("SOM"), QStringLiteral("s1"));
    return f;
}

void Testdatenbank::OhneNamensregeln() const {
    for (const char* t : {"uv_gruppen", "uv_programm", "uv_programm_gruppe", "uv_gruppen_pcode"}) {
        const QString tabelle = QString::fromLatin1(t);
        if (IstPostgres()) {
            SqlAendern(QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT IF EXISTS %1_namen").arg(tabelle));
            continue;
        }
        for (const char* wann : {"insert", "update"})
            SqlAendern(QStringLiteral("DROP TRIGGER IF EXISTS %1_namen_%2").arg(tabelle, QString::fromLatin1(wann)));
    }
}

bool AlsVerwalter(CacheFactory& f, const QString& code, const QString& passwort) {
    // As the program does: the workstation's company and branch first.
    CacheObjektPtr w = f.New(QStringLiteral("KV.Windows"));
    w->Methode(QStringLiteral("Xecute"), {BenutzerkontextBefehl(QStringLiteral("1"), QStringLiteral("0"), code)});
    CacheObjektPtr k = f.Klassenmethoden(QStringLiteral("KV.ParPersEdv"));
    return k->Methode(QStringLiteral("Anmeldedaten"), {QStringLiteral("1"), code, passwort}) == QLatin1String("1");
}

namespace {
template <typename F> void MitDirekterVerbindung(const QString& server, const QString& port, const QString& ns,
                                                 F&& f, const QString& rolle = AlsEigentuemer::Rolle()) {
    // Its own name: threads may hold one each.
    const QString name = QStringLiteral("korval-test-direkt-") + QUuid::createUuid().toString(QUuid::Id128);
    {
        const bool pg = Testdatenbank::IstPostgres();
        QSqlDatabase db = QSqlDatabase::addDatabase(pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
        if (pg) {
            db.setHostName(server);
            db.setPort(port.toInt());
            db.setDatabaseName(ns);
            db.setUserName(rolle);
        } else {
            db.setDatabaseName(server + QStringLiteral("/") + ns + QStringLiteral(".sqlite"));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        }
        if (!db.open()) qFatal("Direkte Verbindung: %s", qPrintable(db.lastError().text()));
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QSqlQuery Ausfuehren(QSqlDatabase& db, const QString& sql, const QVariantList& werte) {
    QSqlQuery q(db);
    // Statements PostgreSQL cannot prepare (CREATE FUNCTION …) run as they stand.
    if (werte.isEmpty()) {
        if (!q.exec(sql)) qFatal("SQL %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q;
    }
    if (!q.prepare(sql)) qFatal("SQL %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    for (const QVariant& w : werte)
        q.addBindValue(w);
    if (!q.exec()) qFatal("SQL %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}
} // namespace

void Testdatenbank::Direkt(const std::function<void(QSqlDatabase&)>& arbeit) const {
    MitDirekterVerbindung(m_server, m_port, m_ns, arbeit);
}

QStringList Testdatenbank::Sql(const QString& sql, const QVariantList& werte) const {
    QStringList zeilen;
    MitDirekterVerbindung(m_server, m_port, m_ns, [&](QSqlDatabase& db) {
        QSqlQuery q = Ausfuehren(db, sql, werte);
        while (q.next()) {
            QStringList z;
            for (int i = 0; i < q.record().count(); ++i)
                z.append(q.value(i).toString());
            zeilen.append(z.join(QLatin1Char(';')));
        }
    });
    return zeilen;
}

bool Testdatenbank::SqlVersuchen(const QString& sql, QString& ergebnis, bool alsAnwendung) const {
    bool ok = false;
    MitDirekterVerbindung(
        m_server, m_port, m_ns,
        [&](QSqlDatabase& db) {
            QSqlQuery q(db);
            ok = q.exec(sql);
            ergebnis = ok ? (q.next() ? q.value(0).toString() : QString()) : q.lastError().databaseText();
        },
        alsAnwendung && IstPostgres() ? m_anwendungsrolle : AlsEigentuemer::Rolle());
    return ok;
}

QStringList Testdatenbank::Tabellen() const {
    QStringList t = Sql(QStringLiteral("SELECT 'G ' || gruppe FROM uv_gruppen"));
    t += Sql(QStringLiteral("SELECT 'P ' || programmname || '/' || subprogramm || '/' || berechtigungsstufe "
                            "FROM uv_programm"));
    t += Sql(QStringLiteral("SELECT 'M ' || gruppe || '/' || pcode FROM uv_gruppen_pcode"));
    t += Sql(QStringLiteral("SELECT 'R ' || programmname || '/' || subprogramm || '/' || berechtigungsstufe || "
                            "'/' || gruppe FROM uv_programm_gruppe"));
    t.sort();
    return t;
}


void Testdatenbank::SqlAendern(const QString& sql, const QVariantList& werte) const {
    MitDirekterVerbindung(m_server, m_port, m_ns, [&](QSqlDatabase& db) { Ausfuehren(db, sql, werte); });
}

QString Testdatenbank::Mitglieder(const QString& gruppe) const {
    return Sql(QStringLiteral("SELECT pcode FROM uv_gruppen_pcode WHERE gruppe = ? ORDER BY pos"), {gruppe})
        .join(QLatin1Char(','));
}

std::unique_ptr<FMStart> Hauptfenster(Testumgebung& u) {
    auto w = std::make_unique<FMStart>(u.login.get(), u.verlauf.get());
    u.login->setHauptfenster(w.get());
    return w;
}

bool NeuAufbauen(std::unique_ptr<Testumgebung>& u, std::unique_ptr<FMStart>& w) {
    Abbauen(u, w);
    u = std::make_unique<Testumgebung>();
    if (!u->db->Ok()) return false;
    w = Hauptfenster(*u);
    return true;
}

void Abbauen(std::unique_ptr<Testumgebung>& u, std::unique_ptr<FMStart>& w) {
    w.reset();
    u.reset();
}

bool Starten(Testumgebung& u, FMStart& w) {
    return Starten(u, w, QStringLiteral("ADM"), QStringLiteral("demo"));
}

bool Starten(Testumgebung& u, FMStart& w, const QString& code, const QString& pw) {
    // The usual start: no command line; the stored settings name the server,
    // and the user types code and password into the login dialog.
    Zustand().ProgrammKommandozeile.clear();
    Zustand().Kommandozeile.clear();
    u.einstellungen->Set(QStringLiteral("Server"), u.db->Server());
    u.einstellungen->Set(QStringLiteral("Port"), u.db->Port());
    u.einstellungen->Set(QStringLiteral("Namespace"), u.db->Namespace());
    u.einstellungen->Set(QStringLiteral("Firma"), QStringLiteral("1"));
    u.einstellungen->Set(QStringLiteral("Filiale"), QStringLiteral("0"));
    u.einstellungen->Set(QStringLiteral("ServerObjekt"), QStringLiteral("1"));
    u.login->setHauptfenster(&w);
    auto gezeigt = std::make_shared<bool>(false);
    u.dialoge.modal.push_front([&u, code, pw, gezeigt](QWidget*) {
        *gezeigt = true;
        AmDialogAnmelden(u, code, pw);
    });
    w.Form_Load();
    if (!*gezeigt && !u.dialoge.modal.empty()) u.dialoge.modal.pop_front();
    // What the start showed is not what the tests look at.
    u.dialoge.gezeigt.clear();
    if (u.beendet != 0) return false;
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

void AmDialogAnmelden(Testumgebung& u, const QString& code, const QString& pw) {
    FMPass& d = *u.login;
    d.txtUser->clear();
    d.txtPasswort->clear();
    d.txtUser->setFocus();
    Eintippen(d.txtUser, code);
    d.txtPasswort->setFocus();
    Eintippen(d.txtPasswort, pw);
    Klicken(d.BUSpeich);
}

void Eintippen(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        // QTest knows keys only for ASCII and the capital Latin-1 letters.
        if (c.unicode() < 0x80)
            QTest::keyClick(w, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void Klicken(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

// A CSV text back into rows of fields (quotes, ";" and line breaks inside quotes).
SysListPtr Liste(CacheFactory& f, const QStringList& werte) {
    SysListPtr l = f.NeueListe();
    for (const QString& v : werte)
        l->Append(v);
    return l;
}

QList<QStringList> CsvLesen(const QString& text) {
    return Csv::Lesen(text);
}

QPoint ZeilenPunkt(CtList* liste, int zeile) {
    QTreeView* v = liste->View();
    const QRect r = v->visualRect(liste->Model()->index(zeile, v->isColumnHidden(0) ? 1 : 0));
    return v->viewport()->mapTo(liste->window(), r.center());
}

namespace {
QPoint ImViewport(CtList* liste, int zeile) {
    QTreeView* v = liste->View();
    v->scrollTo(liste->Model()->index(zeile, 0));
    return v->visualRect(liste->Model()->index(zeile, v->isColumnHidden(0) ? 1 : 0)).center();
}
} // namespace

void ZeileKlicken(CtList* liste, int zeile) {
    QTest::mouseClick(liste->View()->viewport(), Qt::LeftButton, {}, ImViewport(liste, zeile));
}

void ZeileDoppelklicken(CtList* liste, int zeile) {
    const QPoint p = ImViewport(liste, zeile);
    QTest::mouseClick(liste->View()->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(liste->View()->viewport(), Qt::LeftButton, {}, p);
}

Testumgebung::Testumgebung(bool mitDatenbank) {
    einstellungen = std::make_unique<IniSettingsStore>(temp.filePath(QStringLiteral("Cache Login.ini")));
    Env().dialoge = &dialoge;
    Env().uhr = &uhr;
    Env().einstellungen = einstellungen.get();
    Plattform::setSanduhr(false);
    Verlauf::setDateiProtokoll(false);
    ZustandZuruecksetzen();
    server = std::make_unique<FMServer>();
    login = std::make_unique<FMPass>(server.get());
    verlauf = std::make_unique<frmProgrammverlauf>();
    Anwendungszustand& z = Zustand();
    z.Login = login.get();
    z.ServerFenster = server.get();
    z.ProgrammKommandozeile.clear();
    z.FactoryErzeugen = [] { return NeueCacheFactory(); };
    z.AlleFensterEntladen = {};
    z.Beenden = [this] { ++beendet; };
    Verlauf::setZiel([this](const QString& e) { verlauf->Eintragen(e); });
    if (mitDatenbank) db = std::make_unique<Testdatenbank>();
}

namespace {
// Between two tests, and after a set-up that failed, no real dialog may come up
// and wait for a person: whatever asks gets a default answer and a warning.
class KeineDialoge final : public DialogService {
  public:
    int MsgBox(const QString& text, int style, const QString& title) override {
        qWarning("Dialog ohne Testumgebung: %s: %s", qPrintable(title), qPrintable(text));
        return (style & 0x7) == YesNo ? No : Ok;
    }
    QString InputBox(const QString& prompt, const QString& title, const QString&) override {
        qWarning("Eingabe ohne Testumgebung: %s: %s", qPrintable(title), qPrintable(prompt));
        return {};
    }
    void ShowModal(QWidget* window, QWidget*) override {
        qWarning("Fenster ohne Testumgebung: %s", qPrintable(window->objectName()));
    }
    QString Speicherort(const QString& titel, const QString&, const QString&) override {
        qWarning("Dateiauswahl ohne Testumgebung: %s", qPrintable(titel));
        return {};
    }
    int Auswahl(const QString& text, const QString& titel, const QStringList& knoepfe, int = 0) override {
        qWarning("Frage ohne Testumgebung: %s: %s", qPrintable(titel), qPrintable(text));
        return static_cast<int>(knoepfe.size()) - 1;
    }
};
} // namespace

Testumgebung::~Testumgebung() {
    // A newer environment may already stand (u = make_unique<...>() builds the
    // next one first): then its seams and windows stay.
    if (Env().dialoge != &dialoge) return;
    Anwendungszustand& z = Zustand();
    if (z.CacheFactory) z.CacheFactory->Disconnect();
    z.CacheFactory.reset();
    m_blick.reset();
    z.Login = nullptr;
    z.ServerFenster = nullptr;
    Verlauf::setZiel({});
    Verlauf::setDateiProtokoll(false);
    Plattform::setSanduhr(false);
    static KeineDialoge keine;
    Env() = Umgebung{};
    Env().dialoge = &keine;
}

QString Testumgebung::Kommandozeile(const QString& code, const QString& pw) const {
    return QStringLiteral("1 0 %1 %2 %3 %4 %5").arg(code, pw, db->Server(), db->Port(), db->Namespace());
}

bool Testumgebung::Anmelden(const QString& code, const QString& pw) {
    Zustand().ProgrammKommandozeile = Kommandozeile(code, pw);
    Zustand().Kommandozeile.clear();
    return user_anmeld();
}

SqlCacheFactory* Testumgebung::Factory() const {
    return dynamic_cast<SqlCacheFactory*>(Zustand().CacheFactory.get());
}

CacheFactory& Testumgebung::Blick() const {
    if (!m_blick || !m_blick->IsConnected()) m_blick = db->NeuerClient();
    return *m_blick;
}

QStringList Testumgebung::Abfrage(const QString& klasse, const QString& abfrage, const QStringList& parameter,
                                  int spalten) const {
    QStringList zeilen;
    CacheAbfragePtr q = Blick().Abfrage(klasse, abfrage);
    q->Ausfuehren(parameter);
    while (q->Naechste()) {
        QStringList z;
        for (int i = 1; i <= spalten; ++i)
            z.append(q->Spalte(i));
        zeilen.append(z.join(QLatin1Char(';')));
    }
    return zeilen;
}

QStringList Testumgebung::Liste(const QString& klasse, const QString& id, const QString& eigenschaft) const {
    CacheObjektPtr o = Blick().OpenId(klasse, id);
    QStringList werte;
    for (const QString& w : o->Liste(eigenschaft)->Werte())
        werte.append(w);
    return werte;
}

bool Testumgebung::Existiert(const QString& klasse, const QString& id) const {
    try {
        Blick().OpenId(klasse, id);
        return true;
    } catch (const CacheFehler&) {
        return false;
    }
}

QStringList Testumgebung::Verlaufszeilen() const {
    QStringList z;
    for (int i = 0; i < verlauf->Verlauf->ListCount(); ++i)
        z.append(verlauf->Verlauf->List(i));
    return z;
}

QStringList Testumgebung::Bestand() const {
    QStringList b;
    for (const QString& g : Abfrage(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Gruppen")))
        b.append(QStringLiteral("G ") + g + QStringLiteral(": ") +
                 Liste(QStringLiteral("UserVerwaltung.Gruppen"), g, QStringLiteral("PCODE"))
                     .join(QLatin1Char(',')));
    for (const QString& p : Abfrage(QStringLiteral("UserVerwaltung.Programm"), QStringLiteral("Programme")))
        for (const QString& z : Abfrage(QStringLiteral("UserVerwaltung.Programm"), QStringLiteral("Stufen"),
                                        {p, QString()}, 2)) {
            const QString id = p + QStringLiteral("||") + z.section(QLatin1Char(';'), 1) +
                               QStringLiteral("||") + z.section(QLatin1Char(';'), 0, 0);
            b.append(QStringLiteral("P ") + id + QStringLiteral(": ") +
                     Liste(QStringLiteral("UserVerwaltung.Programm"), id, QStringLiteral("Gruppe"))
                         .join(QLatin1Char(',')));
        }
    return b;
}

void Testumgebung::Aendern(const std::function<void(CacheFactory&)>& f) const {
    f(Blick());
}

QStringList ListenZeilen(const CtList* liste) {
    QStringList s;
    for (int i = 0; i < liste->ListCount(); ++i)
        s.append(liste->List(i));
    return s;
}

QStringList KomboEintraege(const QComboBox* box) {
    QStringList s;
    for (int i = 0; i < box->count(); ++i)
        s.append(box->itemText(i));
    return s;
}

// The main window's commands as one server method each: check, change and log
// in one transaction, answered with what the window shows next. On PostgreSQL
// each is one call of a function on the server (funktionen.cpp); on SQLite,
// and on a PostgreSQL database without those functions, the same steps run
// here.

#include "protokoll.h"
#include "schema.h"
#include "sqlfactory.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QSysInfo>

namespace {

const ClassDef& Gruppen() {
    return *findClass(QStringLiteral("UserVerwaltung.Gruppen"));
}

const ClassDef& Stufen() {
    return *findClass(QStringLiteral("UserVerwaltung.Programm"));
}

[[noreturn]] void raise(int number, const QString& text) {
    throw CacheFehler(number, text);
}

QString Vorratsname(const QString& name, const QStringList& teile) {
    return name.toLower() + QChar(0x1F) + teile.join(QChar(0x1F));
}

} // namespace

QString SqlCacheFactory::abfrageSchluessel(const QString& name, const QStringList& parameter) {
    return QStringLiteral("a|") + Vorratsname(name, parameter);
}

QString SqlCacheFactory::objektSchluessel(const QString& klasse, const QString& id) {
    return QStringLiteral("o|") + Vorratsname(klasse, {id});
}

std::optional<SqlCacheFactory::Vorrat> SqlCacheFactory::vorratNehmen(const QString& schluessel) {
    if (!m_vorrat.isEmpty() && m_vorratZeit.elapsed() > VorratMs) m_vorrat.clear();
    auto it = m_vorrat.find(schluessel);
    if (it == m_vorrat.end()) return std::nullopt;
    Vorrat v = std::move(*it);
    m_vorrat.erase(it);
    return v;
}

void SqlCacheFactory::vorratAufnehmen(const QJsonArray& eintraege) {
    if (m_vorrat.isEmpty()) m_vorratZeit.start();
    for (const QJsonValue& e : eintraege) {
        const QJsonObject o = e.toObject();
        Vorrat v;
        if (o.contains(QStringLiteral("o"))) {
            v.da = o.value(QStringLiteral("da")).toBool();
            const QJsonObject felder = o.value(QStringLiteral("f")).toObject();
            for (auto it = felder.begin(); it != felder.end(); ++it)
                v.felder.insert(it.key(), it.value().isString() ? it.value().toString()
                                                                : QString::number(it.value().toDouble()));
            for (const QJsonValue& w : o.value(QStringLiteral("l")).toArray())
                v.werte.push_back(w.toString());
            m_vorrat.insert(objektSchluessel(o.value(QStringLiteral("o")).toString(), o.value(QStringLiteral("id")).toString()),
                            std::move(v));
            continue;
        }
        QStringList parameter;
        for (const QJsonValue& p : o.value(QStringLiteral("p")).toArray())
            parameter.append(p.toString());
        for (const QJsonValue& zeile : o.value(QStringLiteral("z")).toArray())
            for (const QJsonValue& w : zeile.toArray())
                v.werte.push_back(w.toString());
        m_vorrat.insert(abfrageSchluessel(o.value(QStringLiteral("a")).toString(), parameter), std::move(v));
    }
}

void SqlCacheFactory::vorratAufnehmen(Vorratsliste&& eintraege) {
    if (m_vorrat.isEmpty()) m_vorratZeit.start();
    for (auto& [schluessel, v] : eintraege)
        m_vorrat.insert(schluessel, std::move(v));
}

std::pair<QString, SqlCacheFactory::Vorrat> SqlCacheFactory::abfrageLesen(const QString& klasse, const QString& abfrage,
                                                                           const QStringList& parameter) {
    const QueryDef* q = findQuery(klasse, abfrage);
    QVariantList binds;
    for (int i : q->bind)
        binds.append(i < parameter.size() ? parameter[i] : QString());
    return {abfrageSchluessel(klasse + QLatin1Char(':') + abfrage, parameter),
            Vorrat{selectFlat(q->sql, binds, q->columns), true, {}}};
}

std::optional<std::vector<QString>> SqlCacheFactory::stufeMitGruppen(const QStringList& key) {
    const std::vector<QString> zeilen =
        selectFlat(QStringLiteral("SELECT COALESCE(CAST(g.pos AS TEXT), ''), COALESCE(g.gruppe, '') FROM uv_programm p "
                                  "LEFT JOIN uv_programm_gruppe g ON g.programmname = p.programmname AND "
                                  "g.subprogramm = p.subprogramm AND g.berechtigungsstufe = p.berechtigungsstufe "
                                  "WHERE p.programmname = ? AND p.subprogramm = ? AND p.berechtigungsstufe = ? "
                                  "ORDER BY g.pos"),
                   keyBinds(Stufen(), key), 2);
    if (zeilen.empty()) return std::nullopt;
    std::vector<QString> gruppen;
    // Without groups the level's one row has no position.
    for (size_t i = 0; i + 2 <= zeilen.size(); i += 2)
        if (!zeilen[i].isEmpty()) gruppen.push_back(zeilen[i + 1]);
    return gruppen;
}

std::pair<QString, SqlCacheFactory::Vorrat> SqlCacheFactory::stufeLesen(const QStringList& key) {
    Vorrat v;
    auto gruppen = stufeMitGruppen(key);
    v.da = gruppen.has_value();
    if (gruppen) v.werte = std::move(*gruppen);
    return {objektSchluessel(Stufen().name, key.join(QStringLiteral("||"))), std::move(v)};
}

std::pair<QString, SqlCacheFactory::Vorrat> SqlCacheFactory::objektLesen(const ClassDef& cls, const QStringList& key,
                                                                         const QStringList& zusatz) {
    QStringList spalten;
    for (const PropertyDef& p : cls.properties)
        spalten.append(p.column);
    spalten += zusatz;
    const auto rows = select(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                                 .arg(spalten.join(QStringLiteral(", ")), cls.table, keyWhere(cls)),
                             keyBinds(cls, key), static_cast<int>(spalten.size()));
    Vorrat v;
    v.da = !rows.empty();
    if (v.da)
        for (int i = 0; i < spalten.size(); ++i)
            v.felder.insert(spalten[i], rows.front()[i]);
    return {objektSchluessel(cls.name, key.join(QStringLiteral("||"))), std::move(v)};
}

namespace {
// A permission group of 8 or more, as the server function counts it.
bool Verwaltergruppe(const QString& bergrp) {
    static const QRegularExpression zahl(QStringLiteral("^[0-9]+([.][0-9]+)?$"));
    const QString gruppe = QString(bergrp).trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
    return zahl.match(gruppe).hasMatch() && gruppe.toDouble() >= 8;
}
} // namespace

QString SqlCacheFactory::beweis(const QString& herausforderung, const QString& firma, const QString& code,
                                const QString& passwort) {
    return QString::fromLatin1(QMessageAuthenticationCode::hash(
                                   (herausforderung + QLatin1Char('|') + firma + QLatin1Char('|') + code).toUtf8(),
                                   passwort.toUtf8(), QCryptographicHash::Sha256)
                                   .toHex());
}

QString SqlCacheFactory::herausforderungNehmen() {
    QString h = std::exchange(m_herausforderung, QString());
    if (h.isEmpty()) h = select(QStringLiteral("SELECT uv_herausforderung()"), {}, 1).front().front();
    return h;
}

void SqlCacheFactory::berechtigungPruefen() const {
    if (!m_anmeldung) raise(Fehlernummer::KeineBerechtigung, QStringLiteral("<KEINE BERECHTIGUNG>"));
    if (!m_anmeldung->verwalter)
        raise(Fehlernummer::KeineBerechtigung, QStringLiteral("<KEINE BERECHTIGUNG> ") + m_anmeldung->code);
}

QString SqlCacheFactory::anmeldedaten(const QString& firma, const QString& code, const QString& passwort,
                                     const QString& heute) {
    // A new sign-on replaces the one before, also when it fails.
    m_anmeldung.reset();
    const QString filiale = m_interpreter.locals().value(QStringLiteral("FIL"));
    const ClassDef& klasse = *findClass(QStringLiteral("KV.ParPersEdv"));
    if (mitFunktionen()) {
        const QString h = herausforderungNehmen();
        const bool ok = befehlAufrufen(QStringLiteral("uv_anmelden"),
                                       {firma, filiale, code, beweis(h, firma, code, passwort),
                                        QSysInfo::machineHostName(), m_befristungen ? heute : QString()}) ==
                        QLatin1String("1");
        if (!ok) return {};
        // The record the answer brought (not taken: the caller reads it next).
        const auto v = m_vorrat.constFind(objektSchluessel(klasse.name, firma + QStringLiteral("||") + code));
        m_anmeldung = Anmeldung{firma, filiale, code,
                                v != m_vorrat.cend() && Verwaltergruppe(v->felder.value(QStringLiteral("bergrp")))};
        return QStringLiteral("1");
    }
    if (!m_schemaFehler.isEmpty() && isPostgres() && !m_ungesichert)
        raise(Fehlernummer::SchemaVeraltet, m_schemaFehler);
    Vorratsliste vorrat;
    // The password in the same request; kept here, never with the record.
    vorrat.push_back(objektLesen(klasse, {firma, code}, {QStringLiteral("passwort")}));
    Vorrat& benutzer = vorrat.back().second;
    if (!benutzer.da) return {};
    const bool ok = benutzer.felder.take(QStringLiteral("passwort")) == passwort &&
                    benutzer.felder.value(QStringLiteral("aktiv")) == QLatin1String("J");
    auto feld = [&](const char* name) { return benutzer.felder.value(QString::fromLatin1(name)); };
    if (ok) m_anmeldung = Anmeldung{firma, filiale, code, Verwaltergruppe(feld("bergrp"))};
    if (ok && m_anmeldung->verwalter && !heute.isEmpty() && m_befristungen && m_schemaFehler.isEmpty()) {
        // Memberships past their date end first; a failure does not stop the sign-on.
        try {
            ablauf(heute);
        } catch (const CacheFehler&) {
        }
    }
    if (ok && m_anmeldung->verwalter) {
        const QString abtnr = feld("abtnr"), pnr = feld("pnr");
        vorrat.push_back(objektLesen(*findClass(QStringLiteral("KV.ParPersAbt")), {firma, abtnr}));
        vorrat.push_back(objektLesen(*findClass(QStringLiteral("KV.PersBasis")), {firma, pnr}));
        // A database without the log yet cannot say where it stands.
        if (m_schemaFehler.isEmpty())
            vorrat.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Protokoll"), QStringLiteral("Stand"), {}));
        for (auto& l : listenLesen(firma))
            vorrat.push_back(std::move(l));
    }
    vorratAufnehmen(std::move(vorrat));
    return ok ? QStringLiteral("1") : QString();
}

QString SqlCacheFactory::codeSuchen(const QString& firma, const QString& passwort) {
    // The sign-on looks the code up twice: the same question before anything
    // else reached the server has the same answer.
    const QString schluessel =
        QStringLiteral("c|") + firma + QLatin1Char('|') +
        QString::fromLatin1(QCryptographicHash::hash(passwort.toUtf8(), QCryptographicHash::Sha256).toHex());
    if (auto v = vorratNehmen(schluessel)) return v->werte.front();
    QString code;
    if (mitFunktionen()) {
        const QString h = herausforderungNehmen();
        code = befehlAufrufen(QStringLiteral("uv_code_suchen"), {firma, beweis(h, firma, QString(), passwort)});
    } else {
        const auto codes = select(QStringLiteral("SELECT pcode FROM kv_parpersedv WHERE firma = ? AND passwort = ? AND "
                                                 "aktiv = 'J' ORDER BY pcode LIMIT 1"),
                                  {firma, passwort}, 1);
        if (!codes.empty()) code = codes.front().front();
    }
    vorratLegen(schluessel, {code});
    return code;
}

SqlCacheFactory::Vorratsliste SqlCacheFactory::listenLesen(const QString& firma) {
    Vorratsliste l;
    l.push_back(abfrageLesen(QStringLiteral("KV.ParPersEdv"), QStringLiteral("Liste"), {firma}));
    l.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Gruppen"), {}));
    l.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Programm"), QStringLiteral("Programme"), {}));
    return l;
}

QString SqlCacheFactory::listen(const QString& firma) {
    berechtigungPruefen();
    if (mitFunktionen()) return befehlAufrufen(QStringLiteral("uv_listen"), {firma});
    vorratAufnehmen(listenLesen(firma));
    return {};
}

QVariant SqlCacheFactory::rechner() const {
    if (!m_schemaFehler.isEmpty()) raise(Fehlernummer::SchemaVeraltet, m_schemaFehler);
    return QSysInfo::machineHostName();
}

QString SqlCacheFactory::befehlAufrufen(const QString& funktion, const QVariantList& binds) {
    requireConnection();
    // Alone in the caller's transaction, the call is the transaction: the
    // server commits it, and a connection lost meanwhile leaves its outcome
    // open. Faults injected at the commit need one: then BEGIN goes first.
    const bool allein = m_beginAusstehend && !m_vorBestaetigen && m_bruch == Bruch::Keiner && !m_baustein;
    QString marken;
    for (int i = 0; i < binds.size(); ++i)
        marken += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
    QString antwort;
    m_einzelAufruf = allein;
    // The reason for exceptions as a setting of the transaction, in the same request.
    // A call that is its own transaction uses it up.
    const QString ausnahme = allein ? std::exchange(m_ausnahme, m_ausnahmeDauerhaft) : m_ausnahme;
    const bool mitAusnahme = !ausnahme.isEmpty();
    QVariantList werte = binds;
    if (mitAusnahme) werte.append(ausnahme); // the FROM's placeholder comes last
    try {
        antwort = select(mitAusnahme ? QStringLiteral("SELECT %1(%2) FROM (SELECT set_config('korval.ausnahme', ?, true)) a")
                                           .arg(funktion, marken)
                                     : QStringLiteral("SELECT %1(%2)").arg(funktion, marken),
                         werte, 1)
                      .front()
                      .front();
    } catch (const CacheFehler& e) {
        m_einzelAufruf = false;
        if (allein && e.Nummer() == Fehlernummer::Verbindungsabbruch)
            raise(Fehlernummer::AusgangUnbekannt, e.Beschreibung());
        throw;
    }
    m_einzelAufruf = false;
    if (allein) m_befehlErledigt = true;
    const QJsonObject o = QJsonDocument::fromJson(antwort.toUtf8()).object();
    vorratAufnehmen(o.value(QStringLiteral("v")).toArray());
    // The next challenge comes with the answer to a sign-on.
    if (o.contains(QStringLiteral("h"))) m_herausforderung = o.value(QStringLiteral("h")).toString();
    return o.value(QStringLiteral("e")).toString();
}

bool SqlCacheFactory::mitFunktionen() const {
    return m_funktionen && isPostgres();
}

namespace {
QString JsonText(const SysList& l) {
    return Protokoll::Json(l.Werte());
}
} // namespace

bool SqlCacheFactory::anlegen(const ClassDef& cls, const QStringList& key, const SysList& liste) {
    if (!select(QStringLiteral("SELECT 1 FROM %1 WHERE %2").arg(cls.table, keyWhere(cls)), keyBinds(cls, key), 1).empty())
        return false;
    QHash<QString, QString> werte;
    for (int i = 0; i < cls.keyColumns.size(); ++i)
        werte.insert(cls.keyColumns[i], key[i]);
    saveObject(cls, true, werte, &liste);
    return true;
}

// A record needs every part of its id, on every path alike.
void SqlCacheFactory::teileVorhanden(const ClassDef& cls, const QStringList& key) {
    for (int i = 0; i < key.size(); ++i)
        if (key[i].isEmpty())
            raise(Fehlernummer::UngueltigerWert,
                  QStringLiteral("<REQUIRED> %1: %2 fehlt").arg(cls.name, cls.keyColumns[i]));
}

QString SqlCacheFactory::gruppeSpeichern(const QString& gruppe, const SysList& liste, const SysList& geladen,
                                         int pruefen) {
    checkKey(Gruppen(), {gruppe});
    teileVorhanden(Gruppen(), {gruppe});
    if (mitFunktionen())
        return befehlAufrufen(QStringLiteral("uv_gruppe_speichern"),
                              {rechner(), gruppe, JsonText(liste), JsonText(geladen), pruefen});
    Vorratsliste vorrat;
    Guard g(*this);
    if (pruefen) checkList(Gruppen(), {gruppe}, geladen, pruefen == 1);
    const bool neu = anlegen(Gruppen(), {gruppe}, liste);
    if (!neu) saveList(Gruppen(), {gruppe}, liste);
    vorrat.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Gruppen"), {}));
    g.commit();
    vorratAufnehmen(std::move(vorrat));
    return neu ? QStringLiteral("1") : QStringLiteral("0");
}

QString SqlCacheFactory::gruppeLoeschen(const QString& gruppe, const SysList& geladen, int pruefen) {
    checkKey(Gruppen(), {gruppe});
    if (mitFunktionen())
        return befehlAufrufen(QStringLiteral("uv_gruppe_loeschen"), {rechner(), gruppe, JsonText(geladen), pruefen});
    Vorratsliste vorrat;
    Guard g(*this);
    // Checked under the lock that the delete holds to its end.
    const bool da = sperren(Gruppen(), {gruppe}, pruefen == 2);
    if (da) {
        if (pruefen) checkList(Gruppen(), {gruppe}, geladen, pruefen == 1);
        deleteObject(Gruppen(), gruppe);
    }
    withdrawGroup(gruppe);
    vorrat.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Gruppen"), {}));
    g.commit();
    vorratAufnehmen(std::move(vorrat));
    return da ? QStringLiteral("1") : QStringLiteral("0");
}

QString SqlCacheFactory::stufeSpeichern(const QStringList& key, const SysList& liste, const SysList& geladen, int pruefen,
                                        bool gruppenErlaubt) {
    checkKey(Stufen(), key);
    teileVorhanden(Stufen(), key);
    if (mitFunktionen())
        return befehlAufrufen(QStringLiteral("uv_stufe_speichern"),
                              {rechner(), key[0], key[1], key[2], JsonText(liste), JsonText(geladen), pruefen,
                               gruppenErlaubt});
    Vorratsliste vorrat;
    Guard g(*this);
    // Groups before the level: the order in which every command locks.
    if (!gruppenErlaubt) {
        const QString fehlend = checkGroups(key, liste, pruefen == 1 ? &geladen : nullptr);
        if (fehlend != QLatin1String("[]"))
            raise(Fehlernummer::GruppeFehlt, QStringLiteral("<GRUPPE FEHLT> ") + fehlend);
    }
    if (pruefen) checkList(Stufen(), key, geladen, pruefen == 1);
    const bool neu = anlegen(Stufen(), key, liste);
    if (!neu) saveList(Stufen(), key, liste);
    const QString programm = QStringLiteral("UserVerwaltung.Programm");
    vorrat.push_back(abfrageLesen(programm, QStringLiteral("Programme"), {}));
    vorrat.push_back(abfrageLesen(programm, QStringLiteral("SubProgramme"), {key[0]}));
    vorrat.push_back(abfrageLesen(programm, QStringLiteral("Stufen"), {key[0], key[1]}));
    vorrat.push_back(stufeLesen(key));
    g.commit();
    vorratAufnehmen(std::move(vorrat));
    return neu ? QStringLiteral("1") : QStringLiteral("0");
}

QString SqlCacheFactory::stufeLoeschen(const QStringList& key, const SysList& geladen, int pruefen) {
    checkKey(Stufen(), key);
    if (mitFunktionen())
        return befehlAufrufen(QStringLiteral("uv_stufe_loeschen"),
                              {rechner(), key[0], key[1], key[2], JsonText(geladen), pruefen});
    Vorratsliste vorrat;
    Guard g(*this);
    const bool da = sperren(Stufen(), key, pruefen == 2);
    if (da) {
        if (pruefen) checkList(Stufen(), key, geladen, pruefen == 1);
        deleteObject(Stufen(), key.join(QStringLiteral("||")));
    }
    vorrat.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Programm"), QStringLiteral("SubProgramme"), {key[0]}));
    g.commit();
    vorratAufnehmen(std::move(vorrat));
    return da ? QStringLiteral("1") : QStringLiteral("0");
}

QString SqlCacheFactory::stufenLoeschen(const QString& programm, const QString& subprogramm) {
    if (mitFunktionen())
        return befehlAufrufen(QStringLiteral("uv_stufen_loeschen"), {rechner(), programm, subprogramm});
    Vorratsliste vorrat;
    Guard g(*this);
    const int n = deleteLevels(programm, subprogramm);
    vorrat.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Programm"), QStringLiteral("Programme"), {}));
    g.commit();
    vorratAufnehmen(std::move(vorrat));
    return QString::number(n);
}


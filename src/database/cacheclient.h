#pragma once
// The database client as the program sees it: a factory that connects to the
// server, server objects with properties and methods by name, named queries and
// the list value. Every client or server failure is thrown as CacheFehler.

#include <QString>
#include <QStringList>

#include <exception>
#include <memory>
#include <variant>
#include <vector>

class CacheFehler : public std::exception {
  public:
    CacheFehler(int nummer, QString beschreibung)
        : m_nummer(nummer), m_beschreibung(std::move(beschreibung)), m_utf8(m_beschreibung.toUtf8()) {}
    int Nummer() const { return m_nummer; }
    const QString& Beschreibung() const { return m_beschreibung; }
    const char* what() const noexcept override { return m_utf8.constData(); }

  private:
    int m_nummer;
    QString m_beschreibung;
    QByteArray m_utf8;
};

// Error numbers of the client and the server side.
namespace Fehlernummer {
constexpr int Syntax = 8;        // <SYNTAX>
constexpr int Undefiniert = 9;   // <UNDEFINED>
constexpr int KeineRoutine = 13; // <NOROUTINE>
constexpr int NichtVerbunden = 100;
constexpr int UnbekannteKlasse = 101;
constexpr int UnbekannteEigenschaft = 102;
constexpr int UnbekannteMethode = 103;
constexpr int UnbekannteAbfrage = 104;
constexpr int ObjektFehlt = 105;  // open by id: no object with that id
constexpr int UngueltigeId = 106; // wrong number of "||" parts
constexpr int Datenbank = 107;    // the SQL layer refused a statement
constexpr int Verbindungsabbruch = 108;
constexpr int UngueltigerWert = 109;
constexpr int Geschlossen = 110; // object used after sys_close
constexpr int Transaktion = 111;
// The connection broke while a commit ran: whether it was stored is not known.
constexpr int AusgangUnbekannt = 112;
// The record is no longer what the caller loaded: another writer changed it,
// deleted it, or created it where the caller knew none.
constexpr int Konflikt = 113;
constexpr int KonfliktGeloescht = 114;
constexpr int KonfliktVorhanden = 115;
// A level is to be granted a group that has no record.
constexpr int GruppeFehlt = 116;
// The database lacks a part of the schema that changes need (the change log).
constexpr int SchemaVeraltet = 117;
// Another workstation held the record longer than a statement waits; nothing stored.
constexpr int Gesperrt = 118;
// A change without an administrator signed on at this connection; nothing stored.
constexpr int KeineBerechtigung = 119;
// The change would make employees violate rules of incompatible rights; it
// is stored only with a reason (an exception). "<UNVEREINBAR> " and the
// violations as JSON [[code, rule, [groups of side 1], [groups of side 2]], …].
constexpr int Unvereinbar = 120;
} // namespace Fehlernummer

// CacheObject.syslist: ordered strings, positions from 1.
class SysList {
  public:
    int Count() const { return static_cast<int>(m_werte.size()); }
    QString GetAt(int position) const {
        Pruefen(position);
        return m_werte[static_cast<size_t>(position - 1)];
    }
    void RemoveAt(int position) {
        Pruefen(position);
        m_werte.erase(m_werte.begin() + (position - 1));
    }
    void Clear() { m_werte.clear(); }
    void Append(const QString& wert) { m_werte.push_back(wert); }
    // The Boolean option every list gets before it is filled; kept for the client's sake.
    void setOdbcDelimiter(bool an) { m_option = an; }
    bool OdbcDelimiter() const { return m_option; }
    const std::vector<QString>& Werte() const { return m_werte; }
    std::vector<QString>& Werte() { return m_werte; }

  private:
    void Pruefen(int position) const {
        if (position < 1 || position > Count())
            throw CacheFehler(Fehlernummer::UngueltigerWert,
                              QStringLiteral("<LIST> Position %1 außerhalb der Liste").arg(position));
    }
    std::vector<QString> m_werte;
    bool m_option = false;
};
using SysListPtr = std::shared_ptr<SysList>;

// An argument to a server method: a text or a list value.
using Argument = std::variant<QString, SysListPtr>;

class CacheObjekt {
  public:
    virtual ~CacheObjekt() = default;
    virtual QString Eigenschaft(const QString& name) const = 0;
    virtual void setEigenschaft(const QString& name, const QString& wert) = 0;
    // A list property; changes to the returned list are the object's own.
    virtual SysListPtr Liste(const QString& name) = 0;
    virtual QString Methode(const QString& name, const std::vector<Argument>& argumente = {}) = 0;
    void sys_close() { Methode(QStringLiteral("sys_close")); }
};
using CacheObjektPtr = std::unique_ptr<CacheObjekt>;

class CacheAbfrage {
  public:
    virtual ~CacheAbfrage() = default;
    virtual void Ausfuehren(const QStringList& parameter) = 0;
    virtual bool Naechste() = 0;
    virtual QString Spalte(int nummer) const = 0;
    virtual void sys_close() = 0;
};
using CacheAbfragePtr = std::unique_ptr<CacheAbfrage>;

class CacheFactory {
  public:
    virtual ~CacheFactory() = default;
    virtual bool Connect(const QString& connStrg) = 0;
    virtual bool IsConnected() = 0;
    virtual void Disconnect() = 0;
    // Why the last Connect failed, for the history log; never carries credentials.
    virtual QString LetzterFehler() const = 0;
    virtual CacheObjektPtr OpenId(const QString& klasse, const QString& id) = 0;
    virtual CacheObjektPtr New(const QString& klasse) = 0;
    virtual CacheObjektPtr Klassenmethoden(const QString& klasse) = 0;
    virtual CacheAbfragePtr Abfrage(const QString& klasse, const QString& abfrage) = 0;
    SysListPtr NeueListe() const { return std::make_shared<SysList>(); }
    // A command that changes several records is all or nothing.
    virtual void TransaktionBeginnen() = 0;
    virtual void TransaktionBestaetigen() = 0;
    virtual void TransaktionZuruecknehmen() = 0;
};
using CacheFactoryPtr = std::unique_ptr<CacheFactory>;

// Creates the client implementation (defined by the server side, which only the
// entry point, the tool and the tests link).
CacheFactoryPtr NeueCacheFactory();

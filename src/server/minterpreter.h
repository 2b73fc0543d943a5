#pragma once
// A small, real subset of the M language for the server's "Xecute": SET, WRITE,
// DO, KILL and QUIT with string and number literals, local variables, globals,
// $PIECE, $LENGTH, $EXTRACT and the operators _ + - evaluated left to right.

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

class MGlobalStore {
  public:
    virtual ~MGlobalStore() = default;
    virtual std::optional<QString> getGlobal(const QString& name, const QStringList& subs) = 0;
    virtual void setGlobal(const QString& name, const QStringList& subs, const QString& value) = 0;
    virtual void killGlobal(const QString& name, const QStringList& subs) = 0;
    // Routine ^%XTT: records when, and as whom, this connection's session began.
    virtual void startSession(const QString& firma, const QString& fil, const QString& personal) = 0;
};

class MInterpreter {
  public:
    explicit MInterpreter(MGlobalStore& store) : m_store(store) {}
    // Runs one command line; returns what it wrote. Throws CacheFehler on M errors.
    QString execute(const QString& line);
    // Local variables live as long as the connection.
    QHash<QString, QString>& locals() { return m_locals; }

  private:
    MGlobalStore& m_store;
    QHash<QString, QString> m_locals;
};

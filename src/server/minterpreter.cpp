#include "minterpreter.h"

#include "database/cacheclient.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

[[noreturn]] void fail(int number, const QString& code, const QString& detail = {}) {
    QString text = QLatin1Char('<') + code + QLatin1Char('>');
    if (!detail.isEmpty()) text += QStringLiteral(" *") + detail;
    throw CacheFehler(number, text);
}
[[noreturn]] void syntax(const QString& detail = {}) {
    fail(Fehlernummer::Syntax, QStringLiteral("SYNTAX"), detail);
}

// M's numeric interpretation of a string: the longest leading number. Values
// beyond the double range are held at its largest value.
double toNumber(const QString& s) {
    int i = 0;
    const int n = static_cast<int>(s.size());
    bool neg = false;
    while (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        if (s[i] == QLatin1Char('-')) neg = !neg;
        ++i;
    }
    const int start = i;
    bool punkt = false;
    while (i < n && (s[i].isDigit() || (s[i] == QLatin1Char('.') && !punkt))) {
        punkt = punkt || s[i] == QLatin1Char('.');
        ++i;
    }
    const QString ziffern = s.mid(start, i - start);
    bool ok = false;
    double v = ziffern.toDouble(&ok);
    if (!ok) {
        // Only an overflow can make a numeral fail here.
        bool ziffer = false;
        for (QChar c : ziffern)
            ziffer = ziffer || c.isDigit();
        v = ziffer ? std::numeric_limits<double>::max() : 0;
    }
    return neg ? -v : v;
}

QString canonic(double v) {
    if (std::isnan(v)) v = 0;
    v = std::clamp(v, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    if (v > -1e15 && v < 1e15 && v == std::trunc(v)) return QString::number(static_cast<long long>(v));
    QString s = QString::number(v, 'f', 10);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    if (s.startsWith(QLatin1String("0.")))
        s.remove(0, 1);
    else if (s.startsWith(QLatin1String("-0.")))
        s.remove(1, 1);
    return s;
}

// The canonic form of a numeric literal, digit for digit: a literal of any
// length keeps its value.
QString canonicLiteral(const QString& lit) {
    const qsizetype punkt = lit.indexOf(QLatin1Char('.'));
    QString ganz = punkt < 0 ? lit : lit.left(punkt);
    QString bruch = punkt < 0 ? QString() : lit.mid(punkt + 1);
    while (ganz.startsWith(QLatin1Char('0')))
        ganz.remove(0, 1);
    while (bruch.endsWith(QLatin1Char('0')))
        bruch.chop(1);
    if (bruch.isEmpty()) return ganz.isEmpty() ? QStringLiteral("0") : ganz;
    return ganz + QLatin1Char('.') + bruch;
}

// A character position from a number, safe for any value.
qsizetype position(const QString& s) {
    const double v = toNumber(s);
    constexpr double grenze = 1e15;
    return static_cast<qsizetype>(std::clamp(v, -grenze, grenze));
}

class Parser {
  public:
    Parser(const QString& line, MGlobalStore& store, QHash<QString, QString>& locals)
        : m_s(line), m_store(store), m_locals(locals) {}

    QString run() {
        while (!atEnd()) {
            if (!command()) break; // QUIT
            if (atEnd()) break;
            // Commands are separated by blanks; an argumentless command is followed by two.
            if (peek() != QLatin1Char(' ')) syntax();
            while (!atEnd() && peek() == QLatin1Char(' '))
                ++m_pos;
        }
        return m_out;
    }

  private:
    static constexpr int MaxDepth = 100;

    bool atEnd() const { return m_pos >= m_s.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_s[m_pos]; }
    void expect(QChar c) {
        if (peek() != c) syntax();
        ++m_pos;
    }
    bool argsFollow() const {
        // One blank and then something that is not a blank.
        return m_pos + 1 < m_s.size() && m_s[m_pos] == QLatin1Char(' ') && m_s[m_pos + 1] != QLatin1Char(' ');
    }

    QString name() {
        const qsizetype start = m_pos;
        if (peek() == QLatin1Char('%')) ++m_pos;
        while (!atEnd() && (peek().isLetterOrNumber()))
            ++m_pos;
        if (m_pos == start || m_s[start].isDigit()) syntax();
        return m_s.mid(start, m_pos - start);
    }

    bool command() {
        const QString cmd = name().toUpper();
        const bool hasArgs = argsFollow();
        if (hasArgs) ++m_pos;
        if (cmd == QLatin1String("Q") || cmd == QLatin1String("QUIT")) {
            if (hasArgs) syntax();
            return false;
        }
        if (!hasArgs) {
            if (cmd == QLatin1String("K") || cmd == QLatin1String("KILL")) {
                m_locals.clear();
                return true;
            }
            syntax(cmd);
        }
        if (cmd == QLatin1String("S") || cmd == QLatin1String("SET"))
            argList([this] { setArg(); });
        else if (cmd == QLatin1String("W") || cmd == QLatin1String("WRITE"))
            argList([this] { writeArg(); });
        else if (cmd == QLatin1String("D") || cmd == QLatin1String("DO"))
            argList([this] { doArg(); });
        else if (cmd == QLatin1String("K") || cmd == QLatin1String("KILL"))
            argList([this] { killArg(); });
        else
            syntax(cmd);
        return true;
    }

    template <typename F> void argList(F f) {
        f();
        while (peek() == QLatin1Char(',')) {
            ++m_pos;
            f();
        }
    }

    struct Target {
        bool global = false;
        QString name;
        QStringList subs;
    };

    Target target() {
        Target t;
        if (peek() == QLatin1Char('^')) {
            ++m_pos;
            t.global = true;
        }
        t.name = name();
        if (peek() == QLatin1Char('(')) {
            if (!t.global) syntax(t.name); // local arrays are not supported
            ++m_pos;
            t.subs.append(expr());
            while (peek() == QLatin1Char(',')) {
                ++m_pos;
                t.subs.append(expr());
            }
            expect(QLatin1Char(')'));
        }
        return t;
    }

    void setArg() {
        const Target t = target();
        expect(QLatin1Char('='));
        const QString v = expr();
        if (t.global)
            m_store.setGlobal(t.name, t.subs, v);
        else
            m_locals.insert(t.name, v);
    }

    void writeArg() {
        if (peek() == QLatin1Char('!')) {
            ++m_pos;
            m_out += QLatin1Char('\n');
            return;
        }
        m_out += expr();
    }

    void doArg() {
        expect(QLatin1Char('^'));
        const QString routine = name();
        if (routine == QLatin1String("%XTT")) {
            m_store.startSession(m_locals.value(QStringLiteral("FIRMA")),
                                 m_locals.value(QStringLiteral("FIL")),
                                 m_locals.value(QStringLiteral("PERSONAL")));
            return;
        }
        fail(Fehlernummer::KeineRoutine, QStringLiteral("NOROUTINE"), routine);
    }

    void killArg() {
        const Target t = target();
        if (t.global)
            m_store.killGlobal(t.name, t.subs);
        else
            m_locals.remove(t.name);
    }

    // Every recursion passes here: nesting beyond MaxDepth is a syntax error,
    // never an exhausted stack.
    struct Tiefe {
        explicit Tiefe(int& d) : m_d(d) {
            if (++m_d > MaxDepth) syntax(QStringLiteral("zu tief geschachtelt"));
        }
        ~Tiefe() { --m_d; }
        Tiefe(const Tiefe&) = delete;
        Tiefe& operator=(const Tiefe&) = delete;
        int& m_d;
    };

    QString expr() {
        Tiefe tiefe(m_depth);
        QString v = atom();
        for (;;) {
            const QChar op = peek();
            if (op == QLatin1Char('_')) {
                ++m_pos;
                v += atom();
            } else if (op == QLatin1Char('+') || op == QLatin1Char('-') || op == QLatin1Char('*')) {
                ++m_pos;
                const double a = toNumber(v), b = toNumber(atom());
                v = canonic(op == QLatin1Char('+') ? a + b : op == QLatin1Char('-') ? a - b : a * b);
            } else {
                break;
            }
        }
        return v;
    }

    QString atom() {
        const QChar c = peek();
        if (c == QLatin1Char('"')) return stringLiteral();
        if (c.isDigit() || c == QLatin1Char('.')) return number();
        if (c == QLatin1Char('-') || c == QLatin1Char('+')) {
            Tiefe tiefe(m_depth);
            ++m_pos;
            const double v = toNumber(atom());
            return canonic(c == QLatin1Char('-') ? -v : v);
        }
        if (c == QLatin1Char('(')) {
            ++m_pos;
            QString v = expr();
            expect(QLatin1Char(')'));
            return v;
        }
        if (c == QLatin1Char('$')) return function();
        if (c == QLatin1Char('^')) {
            const Target t = target();
            auto v = m_store.getGlobal(t.name, t.subs);
            if (!v) {
                QString ref = QLatin1Char('^') + t.name;
                if (!t.subs.isEmpty())
                    ref += QLatin1Char('(') + t.subs.join(QLatin1Char(',')) + QLatin1Char(')');
                fail(Fehlernummer::Undefiniert, QStringLiteral("UNDEFINED"), ref);
            }
            return *v;
        }
        if (c.isLetter() || c == QLatin1Char('%')) {
            const QString n = name();
            auto it = m_locals.constFind(n);
            if (it == m_locals.constEnd()) fail(Fehlernummer::Undefiniert, QStringLiteral("UNDEFINED"), n);
            return *it;
        }
        syntax();
    }

    QString stringLiteral() {
        ++m_pos; // opening quote
        QString v;
        for (;;) {
            if (atEnd()) syntax(QStringLiteral("Anführungszeichen fehlt"));
            const QChar c = m_s[m_pos++];
            if (c == QLatin1Char('"')) {
                if (peek() == QLatin1Char('"')) {
                    v += c;
                    ++m_pos;
                    continue;
                }
                return v;
            }
            v += c;
        }
    }

    QString number() {
        const qsizetype start = m_pos;
        while (!atEnd() && (peek().isDigit() || peek() == QLatin1Char('.')))
            ++m_pos;
        const QString lit = m_s.mid(start, m_pos - start);
        if (lit.count(QLatin1Char('.')) > 1) syntax(lit);
        return canonicLiteral(lit);
    }

    QString function() {
        ++m_pos; // $
        const QString fn = name().toUpper();
        expect(QLatin1Char('('));
        QStringList args;
        args.append(expr());
        while (peek() == QLatin1Char(',')) {
            ++m_pos;
            args.append(expr());
        }
        expect(QLatin1Char(')'));
        if (fn == QLatin1String("P") || fn == QLatin1String("PIECE")) return piece(args);
        if (fn == QLatin1String("L") || fn == QLatin1String("LENGTH")) {
            if (args.size() == 1) return QString::number(args[0].size());
            if (args.size() == 2) return QString::number(args[1].isEmpty() ? 0 : args[0].count(args[1]) + 1);
            syntax(fn);
        }
        if (fn == QLatin1String("E") || fn == QLatin1String("EXTRACT")) {
            if (args.size() > 3) syntax(fn);
            const qsizetype from = args.size() > 1 ? position(args[1]) : 1;
            const qsizetype to = args.size() > 2 ? position(args[2]) : from;
            if (to < from || to < 1) return {};
            const qsizetype a = std::max<qsizetype>(from, 1);
            return args[0].mid(a - 1, to - a + 1);
        }
        syntax(QLatin1Char('$') + fn);
    }

    static QString piece(const QStringList& args) {
        if (args.size() < 2 || args.size() > 4) syntax(QStringLiteral("$PIECE"));
        const QString& text = args[0];
        const QString& delim = args[1];
        const qsizetype from = args.size() > 2 ? position(args[2]) : 1;
        const qsizetype to = args.size() > 3 ? position(args[3]) : from;
        if (delim.isEmpty() || to < from || to < 1) return {};
        const QStringList parts = text.split(delim);
        const qsizetype a = std::max<qsizetype>(from, 1);
        if (a > parts.size()) return {};
        return parts.mid(a - 1, std::min<qsizetype>(to, parts.size()) - a + 1).join(delim);
    }

    QString m_s;
    qsizetype m_pos = 0;
    int m_depth = 0;
    QString m_out;
    MGlobalStore& m_store;
    QHash<QString, QString>& m_locals;
};

} // namespace

QString MInterpreter::execute(const QString& line) {
    Parser p(line, m_store, m_locals);
    return p.run();
}

#pragma once
// Text as a German reader compares it: case does not count, umlauts go with
// their letters, ß as ss. Folded one character at a time, so that a sort or a
// search allocates nothing per row.

#include <QChar>
#include <QString>
#include <QStringView>

class Gefaltet {
  public:
    // `umschreiben`: umlauts as their two-letter spelling (ä as ae) instead of the bare letter.
    explicit Gefaltet(QStringView s, bool umschreiben = false) : m_s(s), m_umschreiben(umschreiben) {}
    // The next folded character, or 0 at the end.
    char16_t Naechstes() {
        if (m_zweites) {
            const char16_t z = m_zweites;
            m_zweites = 0;
            return z;
        }
        if (m_i >= m_s.size()) return 0;
        const char16_t c = m_s[m_i++].unicode();
        if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
        switch (c) {
        case 0xE4:
        case 0xC4:
            return Umlaut(u'a');
        case 0xF6:
        case 0xD6:
            return Umlaut(u'o');
        case 0xFC:
        case 0xDC:
            return Umlaut(u'u');
        case 0xDF:
            m_zweites = u's';
            return u's';
        default:
            return QChar(c).toLower().unicode();
        }
    }

    static QString Ganz(QStringView s, bool umschreiben = false) {
        QString f;
        f.reserve(s.size());
        Gefaltet g(s, umschreiben);
        for (char16_t c = g.Naechstes(); c != 0; c = g.Naechstes())
            f.append(QChar(c));
        return f;
    }

  private:
    char16_t Umlaut(char16_t buchstabe) {
        if (m_umschreiben) m_zweites = u'e';
        return buchstabe;
    }
    QStringView m_s;
    qsizetype m_i = 0;
    bool m_umschreiben;
    char16_t m_zweites = 0;
};

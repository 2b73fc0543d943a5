#pragma once
// Window text <-> the server's 7-bit German form, RTF escapes and search keys.

#include <QString>

#include <array>
#include <utility>
#include <vector>

QString Konvertieren(const QString& text, const QString& modus, bool grossschreiben);

// The same conversion with its table looked up once, for many texts in a row.
class Konverter {
  public:
    Konverter(const QString& modus, bool grossschreiben);
    QString operator()(const QString& text) const;

  private:
    using Paar = std::pair<QString, QString>;
    const Paar* Suchen(QChar c) const;
    const std::vector<Paar>* m_tab;
    const std::array<const Paar*, 128>* m_ascii;
    bool m_mehrzeichen = false;
    bool m_gross;
};
QString Ersetzen(const QString& text, const QString& suchen, const QString& ersetzen, bool mehrzeichen);

#pragma once
// frmVergleich: two employees side by side: the levels only the one holds,
// both hold and only the other holds, with the granting groups, and the groups
// of each. Not modal.

#include "vergleich.h"

#include <QWidget>

class CtFilterList;
class QPushButton;
struct Bericht;

class frmVergleich final : public QWidget {
    Q_OBJECT
  public:
    explicit frmVergleich(QWidget* parent = nullptr);

    // Reads the employees anew; department entries only when the main window shows them.
    void Form_Load(bool abteilungen);
    void ctListA_Click(int zeile);
    void ctListB_Click(int zeile);
    void cmdCsv_Click();
    void cmdPdf_Click();
    void cmdDrucken_Click();
    Bericht AktuellerBericht() const;

    CtFilterList *ctListA, *ctListB;
    CtFilterList *ctListNurA, *ctListBeide, *ctListNurB, *ctListGruppenA, *ctListGruppenB;
    QPushButton *cmdCsv, *cmdPdf, *cmdDrucken, *cmdSchliessen;

  signals:
    void GruppeZeigen(const QString& gruppe);
    void StufeZeigen(const QString& programm, const QString& subprogramm, const QString& stufe);

  private:
    void Vergleichen();
    bool Gewaehlt() const;
    QString m_a, m_nameA, m_b, m_nameB;
    Vergleich::Ergebnis m_ergebnis;
};

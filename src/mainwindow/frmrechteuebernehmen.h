#pragma once
// frmRechteUebernehmen: an employee joins every group of a colleague that the
// employee is not in yet. Nothing is removed.

#include "permissions/pflege.h"

#include <QDialog>

#include <vector>

class CtFilterList;
class CtList;
class QLabel;
class QPushButton;

class frmRechteUebernehmen final : public QDialog {
    Q_OBJECT
  public:
    // `code`: the employee chosen first ("" for none); department entries
    // only when the main window shows them.
    frmRechteUebernehmen(const QString& code, bool abteilungen, QWidget* parent = nullptr);

    void ctListMitarbeiter_Click(int zeile);
    void ctListWie_Click(int zeile);
    void cmdUebernehmen_Click();
    // The groups an employee joined while the dialog was open.
    const QStringList& GeaenderteGruppen() const { return m_geaendert; }
    // Each group joined with the code that joined it, in order.
    const std::vector<std::pair<QString, QString>>& Aufnahmen() const { return m_aufnahmen; }

    CtFilterList *ctListMitarbeiter, *ctListWie;
    CtList* ctListGruppen;
    QLabel *lblGruppen, *lblStufen;
    QPushButton *cmdUebernehmen, *cmdSchliessen;

  private:
    // Reads both employees' rights and shows what taking over would add.
    void Vorschau();
    QString m_code, m_wie;
    std::vector<Pflege::GruppeGelesen> m_plan;
    QStringList m_geaendert;
    std::vector<std::pair<QString, QString>> m_aufnahmen;
};

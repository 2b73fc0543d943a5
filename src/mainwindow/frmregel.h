#pragma once
// frmRegel: one rule of incompatible rights, new or changed: its name, what it
// is about, and the program level of each side ("*" for any sub-program or level).

#include "permissions/pflege.h"

#include <QDialog>

#include <array>

class QLineEdit;
class QPushButton;

class frmRegel final : public QDialog {
    Q_OBJECT
  public:
    // `regel`: the rule to change, or none for a new one.
    explicit frmRegel(const Pflege::Regel* regel, QWidget* parent = nullptr);

    void cmdOK_Click();
    bool Gespeichert() const { return m_gespeichert; }

    QLineEdit *txtName, *txtBeschreibung;
    // Program, sub-program and level of side 1 and side 2.
    std::array<QLineEdit*, 3> txtSeite1{}, txtSeite2{};
    QPushButton *cmdOK, *cmdAbbrechen;

  private:
    bool m_neu;
    bool m_gespeichert = false;
};

#pragma once
// frmUnvereinbar: the rules of incompatible rights, listed, created, changed and deleted.

#include "permissions/pflege.h"

#include <QDialog>

#include <vector>

class CtList;
class QPushButton;

class frmUnvereinbar final : public QDialog {
    Q_OBJECT
  public:
    explicit frmUnvereinbar(QWidget* parent = nullptr);

    // Reads the rules anew.
    void Laden();
    void cmdNeu_Click();
    void cmdAendern_Click();
    void cmdLoeschen_Click();

    CtList* ctListRegeln;
    QPushButton *cmdNeu, *cmdAendern, *cmdLoeschen, *cmdSchliessen;

  private:
    // The rule chosen in the list, or none.
    const Pflege::Regel* Gewaehlt() const;
    std::vector<Pflege::Regel> m_regeln;
};

#pragma once
// frmGruppeKopieren: a new group like an existing one, with its members and
// its levels, in one step.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class frmGruppeKopieren final : public QDialog {
    Q_OBJECT
  public:
    // `gruppen`: the groups to choose from; `quelle`: the one chosen first.
    frmGruppeKopieren(const QStringList& gruppen, const QString& quelle, QWidget* parent = nullptr);

    void cmdKopieren_Click();
    // The group created, "" while none.
    QString NeueGruppe() const { return m_neu; }

    QComboBox* cmbQuelle;
    QLineEdit* txtName;
    QCheckBox *chkMitglieder, *chkStufen;
    QPushButton *cmdKopieren, *cmdAbbrechen;

  private:
    QString m_neu;
};

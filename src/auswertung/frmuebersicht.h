#pragma once
// frmUebersicht: who may do what, by employee, by level and by group. Not
// modal; hiding it (closing, the end of the program) keeps its place in the settings.

#include <QWidget>

class CtFilterList;
class QComboBox;
class QPushButton;
class QTabWidget;
struct Bericht;

class frmUebersicht final : public QWidget {
    Q_OBJECT
  public:
    explicit frmUebersicht(QWidget* parent = nullptr);
    ~frmUebersicht() override;

    // Reads the employees, groups and programs anew; department entries only
    // when the main window shows them.
    void Form_Load(bool abteilungen);

    void ctListMitarbeiter_Click(int zeile);
    void ctListGruppen_Click(int zeile);
    void cmbProgramm_Click();
    void cmbSubProgramm_Click();
    void cmbProgrammStufe_Click();
    void cmdCsv_Click();
    void cmdPdf_Click();
    void cmdDrucken_Click();

    // The report of the tab in front, as shown (filters applied).
    Bericht AktuellerBericht() const;

    QTabWidget* tabUebersicht;
    CtFilterList *ctListMitarbeiter, *ctListMitarbeiterStufen, *ctListMitarbeiterGruppen;
    QComboBox *cmbProgramm, *cmbSubProgramm, *cmbProgrammStufe;
    CtFilterList *ctListStufeGruppen, *ctListStufeMitarbeiter;
    CtFilterList *ctListGruppen, *ctListGruppeMitglieder, *ctListGruppeStufen;
    // Every dated membership, soonest first.
    CtFilterList* ctListBefristungen;
    // Every current violation of the rules of incompatible rights.
    CtFilterList* ctListVerstoesse;
    QPushButton *cmdCsv, *cmdPdf, *cmdDrucken, *cmdSchliessen;

  signals:
    // A double-click asks the main window to show the employee, group or level.
    void MitarbeiterZeigen(const QString& code);
    void GruppeZeigen(const QString& gruppe);
    void StufeZeigen(const QString& programm, const QString& subprogramm, const QString& stufe);

  protected:
    void hideEvent(QHideEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    QWidget* MitarbeiterSeite();
    QWidget* StufeSeite();
    QWidget* GruppeSeite();
    QWidget* BefristungenSeite();
    void BefristungenLaden();
    void VerstoesseLaden();
    void Verbinden();
    // The selection of the tab in front as given to the server; false when none.
    bool Auswahl(QString& titel, QString& dateiname, QStringList& teile) const;
    void GeometrieSichern();

    // What was chosen last in each tab (empty: nothing yet).
    QString m_code, m_codeName, m_gruppe;
    QStringList m_stufe;
    bool m_geometrieGeladen = false;
};

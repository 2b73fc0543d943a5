#pragma once
// FMStart: the main window with the employee, group and program panes.

#include <QMainWindow>

#include "permissions/pflege.h"

#include <array>
#include <functional>

class CtList;
class CtPush;
class CtSize;
class FMPass;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class Splash;
class frmAbout;
class frmProgrammverlauf;
class frmUebersicht;
class frmProtokoll;
class frmVergleich;

class FMStart final : public QMainWindow {
    Q_OBJECT
  public:
    FMStart(FMPass* login, frmProgrammverlauf* verlauf, QWidget* parent = nullptr);
    ~FMStart() override;

    // Start-up: sign-on loop, permission check, caption, loading the lists.
    void Form_Load();
    void Form_Activate();
    void Form_Resize();
    void Form_Unload();
    void Beenden_Click();
    void mLogin_Click();
    void HilfeUeber_Click();
    void mProgrammverlauf_Click(int index);
    void mUebersicht_Click();
    void mMatrixExport_Click();
    void mProtokoll_Click();
    void mVergleich_Click();
    void mGruppeKopieren_Click();
    void mRechteUebernehmen_Click();
    // The end date of the member chosen in the group's list.
    void mBefristen_Click();
    // The rules of incompatible rights.
    void mUnvereinbar_Click();
    void ctListGruppe_RechteMaustaste(const QPoint& wo, int zeile);
    // Takes back this session's newest own change, after a preview.
    void mRueckgaengig_Click();
    void RueckgaengigBeschriften();
    // After an undo: the lists reloaded and the record it was about chosen.
    void Zurueckgenommen(const QStringList& objekte);
    // After a sign-on from the menu: who may not read permissions sees none.
    void AnmeldungGewechselt();

    // What the permission overview asks to show here.
    void MitarbeiterZeigen(const QString& code);
    void GruppeZeigen(const QString& gruppe);
    void StufeZeigen(const QString& programm, const QString& subprogramm, const QString& stufe);

    // Selection handling
    void cmbGruppe_Click();
    void cmbProgramm_Click();
    void cmbSubProgramm_Click();
    void cmbProgrammStufe_Click();
    void chkAbt_Click();
    void ctListMitarbeiter_DblClick();
    void ctListGruppe_DblClick();

    // Maintenance
    void cmdMitarbeiterGruppe_Click(int index);
    void cmdGruppeSpeichern_Click();
    void cmdGruppeLoeschen_Click();
    void cmdGruppeProgramm_Click(int index);
    void cmdProgrammSpeichern_Click();
    void cmdProgrammLoeschen_Click();
    void cmdSubProgrammLoeschen_Click();
    void cmdProgrammStufeLoeschen_Click();

    // The member list or the level's group list differs from what was loaded.
    bool GruppeGeaendert() const;
    bool StufeGeaendert() const;

    static QString Ueberschrift(const QString& firma, const QString& filiale, const QString& benutzer);
    static QString VerlaufMenuText(const QString& temp);
    // Width of the employee list's name column in pixels, never below a small minimum.
    static int NamensspalteBreite(double listeTwips, double twipsProPixel, int codeSpalte);

    // Created while start-up loads the lists, gone afterwards.
    Splash* SplashFenster() const { return m_splash; }
    frmAbout* AboutFenster() const { return m_about; }
    frmUebersicht* UebersichtFenster() const { return m_uebersicht; }
    frmProtokoll* ProtokollFenster() const { return m_protokoll; }
    frmVergleich* VergleichFenster() const { return m_vergleich; }

    std::array<CtSize*, 3> ctSize{};
    QLabel *Label1, *Label2, *Label3;
    QCheckBox* chkAbt;
    QLineEdit* txtUser;
    std::array<CtPush*, 5> cmdMitarbeiterGruppe{};
    CtList *ctListMitarbeiter, *ctListGruppe, *ctListProgramm;
    QComboBox *cmbGruppe, *cmbProgramm, *cmbSubProgramm, *cmbProgrammStufe;
    CtPush *cmdGruppeLoeschen, *cmdProgrammLoeschen, *cmdSubProgrammLoeschen, *cmdProgrammStufeLoeschen;
    std::array<CtPush*, 2> cmdGruppeProgramm{};
    CtPush *cmdGruppeSpeichern, *cmdProgrammSpeichern;
    QAction *mLogin, *Beenden, *HilfeUeber, *mUebersicht, *mMatrixExport, *mProtokoll, *mRueckgaengig, *mVergleich, *mGruppeKopieren,
        *mRechteUebernehmen, *mBefristen, *mUnvereinbar;
    std::array<QAction*, 2> mProgrammverlauf{};
    QMenu* mGruppeRechts = nullptr;

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    void Aufbauen();
    void MenusAufbauen();
    void ListenSchriften();
    bool Fragen(const QString& text);
    // A delete found the record gone already: it says so (and succeeded).
    void SchonGeloescht(const QString& wer);
    void Besitzer(QWidget* fenster);
    QStringList Zeilen(const CtList* liste, int feld) const;

    // Marks unsaved lists on their save buttons and in the caption.
    void AenderungenZeigen();
    // What to do about a record that is not as this window knew it: 0 overwrite,
    // 1 reload, 2 cancel. `jetzt` is what the server holds at the question.
    int KonfliktFragen(const QString& objekt, Pflege::Konflikt::Art art, const Pflege::Serverstand& jetzt,
                       bool loeschen);

    // What a list held when it was loaded or saved, in stored order; a record
    // that was not there is loaded as absent.
    struct Geladen {
        QString id;
        QStringList liste;
        bool gueltig = false;
        bool vorhanden = true;
    };
    static bool Geoeffnet(const Geladen& geladen, const QString& id);
    // Whether a pane's unsaved edits (`geaendert`) may go: asked, as on quitting.
    static bool Verwerfen(bool geaendert, const QString& wovon);
    // The first employee selected in the employee list, "" for none.
    QString GewaehlterMitarbeiter() const;
    Geladen m_gruppeGeladen, m_stufeGeladen;
    // Runs a save or delete checked against what the window knows of the
    // record: its list as loaded, or (`abwesendPruefen`, for saves) absent when
    // this window never loaded it. On a conflict asks, and overwrites, reloads
    // (into `liste`) or stops as answered. True when it was done.
    bool MitStand(const QString& klasse, const QString& id, Geladen& geladen, CtList* liste, bool abwesendPruefen,
                  const std::function<bool(const Pflege::Stand&)>& befehl, const std::function<void()>& neuLaden);
    // The group whose member list failed to load: not saved until chosen again.
    QString m_unvollstaendigeGruppe;
    FMPass* m_login;
    frmProgrammverlauf* m_verlauf;
    frmAbout* m_about = nullptr;
    frmUebersicht* m_uebersicht = nullptr;
    frmProtokoll* m_protokoll = nullptr;
    frmVergleich* m_vergleich = nullptr;
    Splash* m_splash = nullptr;
};

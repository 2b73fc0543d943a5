#pragma once
// FMServer: the server connections known to the standard server, the data of
// the chosen entry, editing and saving it there, and choosing the standard
// connection of this workstation. Carries the idle-disconnect timer.

#include "database/fenster.h"

#include <QDialog>

class CtList;
class CtPush;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;

class FMServer final : public QDialog, public VerbindungsFenster {
    Q_OBJECT
  public:
    explicit FMServer(QWidget* parent = nullptr);

    // VerbindungsFenster
    QString Feld(Feldname f) const override;
    void setFeld(Feldname f, const QString& text) override;
    void ModalZeigen() override;
    void Verbergen() override;
    QTimer* Lock() override { return m_lock; }

    void Form_Load();
    void ctList_Click();
    void ctList_RechteMaustaste(const QPoint& wo, int zeile);
    void mRechts_Click(int index);
    void AlsStandardSpeichern();
    void BUEdit_Click();
    void BUZurueck_Click();
    void Lock_Timer();

    CtList* ctList;
    QLineEdit *BSERVERIP, *BPORT, *BFIRMA, *BFIL, *BWJ, *BNAMESPACE;
    CtPush *BUEdit, *BUZurueck;
    QLabel* lblBefehlszeile;
    QMenu* HRechts;
    bool Geladen() const { return m_geladen; }

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    void FelderFreigeben(bool an);
    // The note that a command-line session keeps its connection, when it is one.
    void HinweisZeigen();
    bool EintragGewaehlt();
    QLineEdit* FeldWidget(Feldname f) const;
    QTimer* m_lock;
    bool m_geladen = false;
    // Loaded (or failed) since the window was last hidden.
    bool m_ladenVersucht = false;
};

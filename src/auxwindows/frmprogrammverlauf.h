#pragma once
// frmProgrammverlauf: the program history in memory, newest first. Closing it
// only hides it.

#include <QWidget>

class CtList;

class frmProgrammverlauf final : public QWidget {
    Q_OBJECT
  public:
    explicit frmProgrammverlauf(QWidget* parent = nullptr);
    // A new entry at the top; the list keeps the newest hundred.
    void Eintragen(const QString& eintrag);
    void setEntladen(bool an) { m_entladen = an; }

    CtList* Verlauf;

  protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    bool m_entladen = false;
};

#pragma once
// frmBefristen: the end date of a membership, with its reason, set or removed.

#include <QDate>
#include <QDialog>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class frmBefristen final : public QDialog {
    Q_OBJECT
  public:
    // `bis`: the member's date now (null for none); `heute` the day to count from.
    // `grund`: the reason stored with it.
    frmBefristen(const QString& gruppe, const QString& code, const QString& name, const QDate& bis,
                 const QDate& heute, QWidget* parent = nullptr, const QString& grund = QString());

    void cmdOK_Click();
    void cmdAufheben_Click();
    // Whether the server's date changed.
    bool Gespeichert() const { return m_gespeichert; }

    QLabel* lblMitglied;
    QDateEdit* txtBis;
    QLineEdit* txtGrund;
    QPushButton *cmdOK, *cmdAufheben, *cmdAbbrechen;

  private:
    QString m_gruppe, m_code;
    QDate m_heute;
    bool m_gespeichert = false;
};

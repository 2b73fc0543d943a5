#pragma once
// frmProtokoll: the change log, newest first, filtered by period, user and
// record, with each entry's lists before and after side by side.

#include <QStringList>
#include <QWidget>

#include <vector>

class CtList;
class QLabel;
class QLineEdit;
class QPushButton;

class frmProtokoll final : public QWidget {
    Q_OBJECT
  public:
    explicit frmProtokoll(QWidget* parent = nullptr);

    void cmdAnzeigen_Click();
    void ctListProtokoll_Click();
    void cmdCsv_Click();
    // Takes back the chosen entry's change, after a preview.
    void cmdRueckgaengig_Click();

    QLineEdit *txtVon, *txtBis, *txtBenutzer, *txtObjekt;
    QPushButton *cmdAnzeigen, *cmdCsv, *cmdRueckgaengig, *cmdSchliessen;
    CtList *ctListProtokoll, *ctListVorher, *ctListNachher;
    QLabel* lblAnzahl;

    // Entries as "+ " added, "- " removed, "  " kept, for the two sides.
    static void Vergleichen(const QStringList& vorher, const QStringList& nachher, QStringList& links,
                            QStringList& rechts);
    // A stored list or record as lines: JSON arrays and objects unpacked.
    static QStringList Zeilen(const QString& gespeichert);

  signals:
    // An undo changed these records ("Gruppe …", "Stufe …").
    void Zurueckgenommen(const QStringList& objekte);

  private:
    std::vector<long long> m_nummern; // each row's entry number
    // The rows read last, as stored (time, company, branch, code, workstation,
    // command, record, before, after).
    std::vector<QStringList> m_zeilen;
};

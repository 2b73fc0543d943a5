#pragma once
// A long report: shows how many rows are written, keeps the windows answering
// and stops when the user cancels. The dialog is modal to the application, so
// nothing else is started meanwhile.

#include <QElapsedTimer>
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

class Fortschritt {
  public:
    // Thrown by Zeile after "Abbrechen": the file being written is discarded.
    struct Abgebrochen {};

    explicit Fortschritt(QWidget* eltern, QString text = QStringLiteral("Bericht wird geschrieben …"));
    ~Fortschritt();
    Fortschritt(const Fortschritt&) = delete;
    Fortschritt& operator=(const Fortschritt&) = delete;

    // Counts one row; now and then shows the count and lets pending events run.
    void Zeile();
    long long Zeilen() const { return m_zeilen; }

  private:
    void Zeigen();
    std::unique_ptr<QProgressDialog> m_dialog;
    QString m_text;
    QElapsedTimer m_uhr;
    long long m_zeilen = 0;
    qint64 m_zuletzt = 0;
};

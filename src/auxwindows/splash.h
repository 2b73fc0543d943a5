#pragma once
// Splash: stands on the screen while the main window loads its lists; a
// spinner at the end of the caption shows that the program is alive.

#include <QWidget>

class QLabel;
class QStatusBar;
class QTimer;

class Splash final : public QWidget {
    Q_OBJECT
  public:
    explicit Splash(QWidget* parent = nullptr);
    static QString Rotieren(int schritt);

    void Form_Load();
    void Form_Unload();
    void Timer1_Timer();
    void setStatus(const QString& text);
    QString Status() const;

    QLabel* lblC;
    QStatusBar* StatusBar;
    QTimer* Timer1;

  private:
    QLabel* m_status;
    int m_schritt = 0;
    QString m_basis;
};

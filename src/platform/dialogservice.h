#pragma once
// Every message box, input box and modal display of a window goes through one
// replaceable object, so that tests answer from a script and never hang.

#include <QString>
#include <QStringList>

class QWidget;

class DialogService {
  public:
    // Message box styles as the program writes them: buttons + icon.
    enum Style { OkOnly = 0, YesNo = 4, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
    enum Answer { Ok = 1, Yes = 6, No = 7 };

    virtual ~DialogService() = default;
    virtual int MsgBox(const QString& text, int style, const QString& title) = 0;
    // Returns the typed text, or "" when cancelled.
    virtual QString InputBox(const QString& prompt, const QString& title, const QString& vorgabe) = 0;
    // Shows the window modally, owned by `owner`; returns when it is hidden.
    virtual void ShowModal(QWidget* window, QWidget* owner) = 0;
    // Asks where to save a file; "" when cancelled. `filter` as Qt's file dialogs take it.
    virtual QString Speicherort(const QString& titel, const QString& vorgabe, const QString& filter) = 0;
    // A question with buttons of its own; the index of the chosen one, or the
    // last one (the way out) when the box is closed. Enter presses `standard`.
    virtual int Auswahl(const QString& text, const QString& titel, const QStringList& knoepfe, int standard = 0) = 0;
};

class QtDialogService final : public DialogService {
  public:
    int MsgBox(const QString& text, int style, const QString& title) override;
    QString InputBox(const QString& prompt, const QString& title, const QString& vorgabe) override;
    void ShowModal(QWidget* window, QWidget* owner) override;
    QString Speicherort(const QString& titel, const QString& vorgabe, const QString& filter) override;
    int Auswahl(const QString& text, const QString& titel, const QStringList& knoepfe, int standard = 0) override;
};

#pragma once
// frmAbout: application, version, the maker, and the system-information program.

#include <QDialog>

class HyperLink;
class QLabel;
class QPushButton;

class frmAbout final : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr);

    void Form_Load();
    void cmdOK_Click() { hide(); }
    void cmdSysInfo_Click();
    void StartSysInfo();

    // A registry value as GetKeyValue returns it: text up to its first NUL,
    // a double word as "&h" and its bytes' hex digits from the last byte to the first.
    static QString RegistryWertFormatieren(int typ, const QByteArray& daten);
    // Starts a program; tests replace it.
    std::function<bool(const QString&)> ProgrammStarten;

    QLabel *lblTitle, *lblVersion, *lblDescription, *Description, *Producktname, *Version, *Erstellt,
        *lblHersteller;
    QLabel *picIcon, *Image1, *Image2;
    HyperLink *ctHyperLink1, *ctHyperLink2;
    QPushButton *cmdOK, *cmdSysInfo;
};

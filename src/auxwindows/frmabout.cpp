#include "frmabout.h"

#include "platform/dialogservice.h"
#include "platform/plattform.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctsize.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include <functional>

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    auto* lay = new QGridLayout(this);
    picIcon = new QLabel(this);
    picIcon->setPixmap(QIcon(QStringLiteral(":/bilder/korval.svg")).pixmap(48, 48));
    lblTitle = new QLabel(this);
    QFont f = lblTitle->font();
    f.setPointSizeF(f.pointSizeF() * 1.5);
    f.setBold(true);
    lblTitle->setFont(f);
    lblVersion = new QLabel(this);
    lblDescription = new QLabel(QStringLiteral("Pflege der Berechtigungsgruppen, ihrer Mitarbeiter und der "
                                               "Programmrechte der KORVAL-Anwendungen."),
                                this);
    lblDescription->setWordWrap(true);
    Producktname = new QLabel(QStringLiteral("Produkt:"), this);
    Description = new QLabel(QStringLiteral("KORVAL Benutzerverwaltung"), this);
    Version = new QLabel(QStringLiteral("Version:"), this);
    Erstellt =
        new QLabel(QStringLiteral("Erstellt mit C++20 und Qt %1").arg(QString::fromLatin1(qVersion())), this);
    lblHersteller = new QLabel(QStringLiteral("© KORVAL Software"), this);
    Image1 = new QLabel(this);
    Image1->setPixmap(QIcon(QStringLiteral(":/bilder/diskette.svg")).pixmap(24, 24));
    Image2 = new QLabel(this);
    Image2->setPixmap(QIcon(QStringLiteral(":/bilder/pfeil-rechts.svg")).pixmap(24, 24));
    ctHyperLink1 = new HyperLink(QStringLiteral("support@korval.example"),
                                 QStringLiteral("mailto:support@korval.example"), this);
    ctHyperLink2 = new HyperLink(QStringLiteral("www.korval.example"),
                                 QStringLiteral("https://www.korval.example"), this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&Systeminfo..."), this);
    lay->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    lay->addWidget(lblTitle, 0, 1, 1, 2);
    lay->addWidget(lblDescription, 1, 1, 1, 2);
    lay->addWidget(Producktname, 2, 1);
    lay->addWidget(Description, 2, 2);
    lay->addWidget(Version, 3, 1);
    lay->addWidget(lblVersion, 3, 2);
    lay->addWidget(Erstellt, 4, 1, 1, 2);
    lay->addWidget(Image1, 5, 0);
    lay->addWidget(ctHyperLink1, 5, 1, 1, 2);
    lay->addWidget(Image2, 6, 0);
    lay->addWidget(ctHyperLink2, 6, 1, 1, 2);
    lay->addWidget(lblHersteller, 7, 1, 1, 2);
    lay->addWidget(cmdOK, 8, 2);
    lay->addWidget(cmdSysInfo, 9, 2);
    ProgrammStarten = [](const QString& p) { return QProcess::startDetached(p, {}); };
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    Form_Load();
}

void frmAbout::Form_Load() {
    const QString titel = QStringLiteral("Benutzerverwaltung");
    setWindowTitle(QStringLiteral("Info zu ") + titel);
    lblTitle->setText(titel);
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty()) version = QStringLiteral(KORVAL_VERSION);
    const QStringList v = version.split(QLatin1Char('.'));
    lblVersion->setText(QStringLiteral("%1.%2.%3")
                            .arg(v.value(0, QStringLiteral("1")), v.value(1, QStringLiteral("0")),
                                 v.value(2, QStringLiteral("0"))));
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    const QString programm = Plattform::SystemInfoProgramm();
    if (programm.isEmpty() || !ProgrammStarten(programm))
        Dialoge().MsgBox(QStringLiteral("Systeminformationen sind momentan nicht verfügbar"),
                         DialogService::OkOnly, windowTitle());
}

QString frmAbout::RegistryWertFormatieren(int typ, const QByteArray& daten) {
    if (typ == 1) {
        // REG_SZ in UTF-16, up to its first NUL.
        QString s;
        for (qsizetype i = 0; i + 1 < daten.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(daten[i]) |
                                                     (static_cast<unsigned char>(daten[i + 1]) << 8));
            if (c == 0) break;
            s += QChar(c);
        }
        return s;
    }
    if (typ == 4) {
        QString s = QStringLiteral("&h");
        for (qsizetype i = std::min<qsizetype>(daten.size(), 4) - 1; i >= 0; --i)
            s += QString::number(static_cast<unsigned char>(daten[i]), 16).toUpper();
        return s;
    }
    return {};
}

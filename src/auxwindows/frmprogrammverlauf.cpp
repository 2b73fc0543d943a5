#include "frmprogrammverlauf.h"

#include "platform/widgets/ctlist.h"
#include "platform/widgets/zugang.h"
#include "util/programmverlauf.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QTreeView>

frmProgrammverlauf::frmProgrammverlauf(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmProgrammverlauf"));
    setWindowTitle(QStringLiteral("Programmverlauf"));
    Verlauf = new CtList(this);
    Verlauf->setObjectName(QStringLiteral("Verlauf"));
    Verlauf->setZugriffsname(QStringLiteral("Programmverlauf"));
    AlsFensterZeigen(this);
    Verlauf->setSpalten({QStringLiteral("Programmteil"), QStringLiteral("Text")}, {220, 400});
    // The text column takes whatever width the window leaves.
    Verlauf->View()->header()->setStretchLastSection(true);
    resize(640, 300);
}

void frmProgrammverlauf::Eintragen(const QString& eintrag) {
    Verlauf->InsertItem(0, eintrag);
    Verlauf->Begrenzen(::Verlauf::MaxZeilen);
}

void frmProgrammverlauf::closeEvent(QCloseEvent* e) {
    if (m_entladen) {
        e->accept();
        return;
    }
    e->ignore();
    hide();
}

void frmProgrammverlauf::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Verlauf->setGeometry(0, 0, width(), height());
}

#include "dialogservice.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QPushButton>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWindow>

int QtDialogService::MsgBox(const QString& text, int style, const QString& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    switch (style & 0x70) {
    case Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Information:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((style & 0x7) == YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Yes : No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Ok;
}

QString QtDialogService::InputBox(const QString& prompt, const QString& title, const QString& vorgabe) {
    bool ok = false;
    const QString s =
        QInputDialog::getText(QApplication::activeWindow(), title, prompt, QLineEdit::Normal, vorgabe, &ok);
    return ok ? s : QString();
}

void QtDialogService::ShowModal(QWidget* window, QWidget* owner) {
    // The owner keeps the window on top of it but does not own it.
    window->winId();
    if (owner && window->windowHandle() && owner->windowHandle())
        window->windowHandle()->setTransientParent(owner->windowHandle());
    if (auto* dlg = qobject_cast<QDialog*>(window)) {
        dlg->exec();
        return;
    }
    // A plain window: modal until it is hidden.
    QPointer<QWidget> w(window);
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
    QEventLoop loop;
    while (w && w->isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

namespace {
// Qt's own file dialog writes the modified dates in the system's format, not
// in the program's German one; the column is written here.
class DatumImProgrammformat final : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole && index.column() == 3)
            if (auto* dateien = qobject_cast<QFileSystemModel*>(sourceModel()))
                return QLocale().toString(dateien->lastModified(mapToSource(index)), QLocale::ShortFormat);
        return QIdentityProxyModel::data(index, role);
    }
};
} // namespace

QString QtDialogService::Speicherort(const QString& titel, const QString& vorgabe, const QString& filter) {
    // The platform's own dialog, where there is one, dates as the user set it.
    QFileDialog dialog(QApplication::activeWindow(), titel, vorgabe, filter);
    dialog.setObjectName(QStringLiteral("dlgSpeicherort"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setProxyModel(new DatumImProgrammformat(&dialog));
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

int QtDialogService::Auswahl(const QString& text, const QString& titel, const QStringList& knoepfe, int standard) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(titel);
    box.setText(text);
    box.setIcon(QMessageBox::Warning);
    QList<QAbstractButton*> b;
    for (int i = 0; i < knoepfe.size(); ++i)
        b.append(box.addButton(knoepfe[i], i == knoepfe.size() - 1 ? QMessageBox::RejectRole
                                                                   : QMessageBox::AcceptRole));
    if (!b.isEmpty()) box.setEscapeButton(b.last());
    if (standard >= 0 && standard < b.size()) box.setDefaultButton(qobject_cast<QPushButton*>(b[standard]));
    box.exec();
    const int i = static_cast<int>(b.indexOf(box.clickedButton()));
    return i < 0 ? static_cast<int>(knoepfe.size()) - 1 : i;
}

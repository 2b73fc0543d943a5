#include "zugang.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

namespace {
const char* const FensterMerkmal = "korvalFenster";

class ZweiZustandsKnopf final : public QAccessibleWidget {
  public:
    explicit ZweiZustandsKnopf(QAbstractButton* b) : QAccessibleWidget(b, QAccessible::Button) {}
    QAbstractButton* Knopf() const { return static_cast<QAbstractButton*>(widget()); }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return Knopf()->text().remove(QLatin1Char('&'));
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Knopf()->isChecked();
        s.pressed = Knopf()->isChecked();
        return s;
    }
    QStringList actionNames() const override {
        return {pressAction(), toggleAction(), setFocusAction()};
    }
    void doAction(const QString& aktion) override {
        if (aktion == pressAction() || aktion == toggleAction())
            Knopf()->click();
        else
            QAccessibleWidget::doAction(aktion);
    }
};

// On Linux Qt names a combo box by its current text: a screen reader would
// announce "Lager" instead of "Gruppe". Ours keep their name; the text is the
// value. The children are Qt's own: the list of entries, then the edit field.
class BenannteKombo final : public QAccessibleWidget {
  public:
    explicit BenannteKombo(QComboBox* c) : QAccessibleWidget(c, QAccessible::ComboBox) {
        addControllingSignal(QStringLiteral("activated(int)"));
    }
    QComboBox* Kombo() const { return static_cast<QComboBox*>(widget()); }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return Kombo()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return Kombo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(Kombo()->view());
        if (index == 1 && Kombo()->lineEdit())
            return QAccessible::queryAccessibleInterface(Kombo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* c) const override {
        if (!c) return -1;
        if (c->object() == Kombo()->view()) return 0;
        return Kombo()->lineEdit() && c->object() == Kombo()->lineEdit() ? 1 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction(), setFocusAction()}; }
    void doAction(const QString& aktion) override {
        if (aktion == showMenuAction())
            Kombo()->showPopup();
        else
            QAccessibleWidget::doAction(aktion);
    }
};

QAccessibleInterface* Fabrik(const QString& klasse, QObject* o) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) return nullptr;
    if (klasse == QLatin1String("QComboBox") && !w->accessibleName().isEmpty())
        return new BenannteKombo(static_cast<QComboBox*>(w));
    if (klasse == QLatin1String("CtPush")) {
        auto* b = static_cast<QAbstractButton*>(w);
        if (b->isCheckable()) return new ZweiZustandsKnopf(b);
        return nullptr;
    }
    if (w->isWindow() && w->property(FensterMerkmal).toBool()) return new QAccessibleWidget(w, QAccessible::Window);
    return nullptr;
}
} // namespace

void WertAnsagen(QComboBox* box) {
    // Qt announces a new current entry; a typed text is a new value as well.
    QObject::connect(box, &QComboBox::editTextChanged, box, [box](const QString& text) {
        QAccessibleValueChangeEvent e(box, text);
        QAccessible::updateAccessibility(&e);
    });
}

void ZugangEinrichten() {
    static bool eingerichtet = false;
    if (eingerichtet) return;
    eingerichtet = true;
    QAccessible::installFactory(Fabrik);
}

void AlsFensterZeigen(QWidget* fenster) {
    ZugangEinrichten();
    fenster->setProperty(FensterMerkmal, true);
}

#pragma once
// Picture push button; a two-state button keeps its Value between clicks.

#include <QPushButton>

class CtPush : public QPushButton {
    Q_OBJECT
  public:
    explicit CtPush(const QString& text = {}, QWidget* parent = nullptr) : QPushButton(text, parent) {}
    // Picture and the name a screen reader speaks; the name also is the tooltip.
    void setBild(const QString& resource, const QString& beschreibung);
    void setZweiZustaende(bool an);
    // A caption beside the picture: the accessible name starts with it.
    void setBeschriftung(const QString& text, const QString& beschreibung);
    // The two-state value: True shows the button up, False pressed down.
    bool Value() const { return !isChecked(); }
    void setValue(bool v) { setChecked(!v); }
};

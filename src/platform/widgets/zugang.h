#pragma once
// What screen readers and voice control see of our own widgets: a two-state
// push button is a toggle button with its pressed state, not a check box; a
// window of our own is a window, not a filler; a combo box keeps its name and
// offers its entries.

class QComboBox;
class QWidget;

// Installs the program's accessibility factory once.
void ZugangEinrichten();
// Marks `fenster` to be exposed with the role of a window.
void AlsFensterZeigen(QWidget* fenster);
// An editable box announces each change of its text as a change of its value.
void WertAnsagen(QComboBox* box);

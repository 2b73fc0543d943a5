#pragma once
// What screen readers and voice control see of our own widgets: a two-state
// push button is a toggle button with its pressed state, not a check box; a
// window of our own is a window, not a filler.

class QWidget;

// Installs the program's accessibility factory once.
void ZugangEinrichten();
// Marks `fenster` to be exposed with the role of a window.
void AlsFensterZeigen(QWidget* fenster);

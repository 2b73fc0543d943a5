#pragma once
// The replaceable seams every window and procedure uses: dialogs, clock and
// settings store. Production code gets the real ones; tests install scripted ones.

class DialogService;
class Clock;
class SettingsStore;

struct Umgebung {
    DialogService* dialoge = nullptr;
    Clock* uhr = nullptr;
    SettingsStore* einstellungen = nullptr;
};

// The one set of seams; missing ones are filled with the real implementations.
Umgebung& Env();
DialogService& Dialoge();
Clock& Uhr();
SettingsStore& Einstellungen();

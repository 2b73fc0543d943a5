#include "umgebung.h"

#include "clock.h"
#include "dialogservice.h"
#include "settingsstore.h"

Umgebung& Env() {
    static Umgebung env;
    return env;
}

DialogService& Dialoge() {
    if (!Env().dialoge) {
        static QtDialogService qt;
        Env().dialoge = &qt;
    }
    return *Env().dialoge;
}

Clock& Uhr() {
    if (!Env().uhr) {
        static SystemClock uhr;
        Env().uhr = &uhr;
    }
    return *Env().uhr;
}

SettingsStore& Einstellungen() {
    if (!Env().einstellungen) {
        static IniSettingsStore ini;
        Env().einstellungen = &ini;
    }
    return *Env().einstellungen;
}

#include "zustand.h"

Anwendungszustand& Zustand() {
    static Anwendungszustand z;
    return z;
}

void ZustandZuruecksetzen() {
    Anwendungszustand& z = Zustand();
    Anwendungszustand neu;
    neu.ProgrammKommandozeile = z.ProgrammKommandozeile;
    neu.Login = z.Login;
    neu.ServerFenster = z.ServerFenster;
    neu.FactoryErzeugen = std::move(z.FactoryErzeugen);
    neu.AlleFensterEntladen = std::move(z.AlleFensterEntladen);
    neu.Beenden = std::move(z.Beenden);
    z = std::move(neu);
}

#include "stromausfall.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>

namespace {

sqlite3_vfs* g_basis = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methoden;
std::mutex g_sperre;
std::map<std::string, std::string> g_bestand; // path → content at the last sync
int g_syncs = 0;
long g_generation = 0; // a file opened before the cut belongs to an older one
bool g_ausfall = false; // between the cut and the restart nothing reaches the disk

struct Datei {
    sqlite3_file basis;
    sqlite3_file* echt;
    std::string* pfad;
    long generation;
};

sqlite3_file* Echt(sqlite3_file* f) {
    return reinterpret_cast<Datei*>(f)->echt;
}

bool Tot(sqlite3_file* f) {
    return reinterpret_cast<Datei*>(f)->generation != g_generation;
}

std::string Inhalt(sqlite3_file* echt) {
    sqlite3_int64 groesse = 0;
    echt->pMethods->xFileSize(echt, &groesse);
    std::string s(static_cast<size_t>(groesse), '\0');
    if (groesse > 0) echt->pMethods->xRead(echt, s.data(), static_cast<int>(groesse), 0);
    return s;
}

int Schliessen(sqlite3_file* f) {
    Datei* d = reinterpret_cast<Datei*>(f);
    const int rc = d->echt->pMethods ? d->echt->pMethods->xClose(d->echt) : SQLITE_OK;
    delete d->pfad;
    return rc;
}
int Lesen(sqlite3_file* f, void* p, int n, sqlite3_int64 o) {
    return Echt(f)->pMethods->xRead(Echt(f), p, n, o);
}
int Schreiben(sqlite3_file* f, const void* p, int n, sqlite3_int64 o) {
    if (Tot(f)) return SQLITE_OK;
    return Echt(f)->pMethods->xWrite(Echt(f), p, n, o);
}
int Kuerzen(sqlite3_file* f, sqlite3_int64 n) {
    if (Tot(f)) return SQLITE_OK;
    return Echt(f)->pMethods->xTruncate(Echt(f), n);
}
int Sync(sqlite3_file* f, int flags) {
    if (Tot(f)) return SQLITE_OK;
    const int rc = Echt(f)->pMethods->xSync(Echt(f), flags);
    std::lock_guard<std::mutex> l(g_sperre);
    ++g_syncs;
    if (reinterpret_cast<Datei*>(f)->pfad) g_bestand[*reinterpret_cast<Datei*>(f)->pfad] = Inhalt(Echt(f));
    return rc;
}
int Groesse(sqlite3_file* f, sqlite3_int64* n) {
    return Echt(f)->pMethods->xFileSize(Echt(f), n);
}
int Sperren(sqlite3_file* f, int n) {
    return Echt(f)->pMethods->xLock(Echt(f), n);
}
int Entsperren(sqlite3_file* f, int n) {
    return Echt(f)->pMethods->xUnlock(Echt(f), n);
}
int Gesperrt(sqlite3_file* f, int* n) {
    return Echt(f)->pMethods->xCheckReservedLock(Echt(f), n);
}
int Steuern(sqlite3_file* f, int op, void* p) {
    return Echt(f)->pMethods->xFileControl(Echt(f), op, p);
}
int Sektor(sqlite3_file* f) {
    return Echt(f)->pMethods->xSectorSize(Echt(f));
}
int Eigenschaften(sqlite3_file* f) {
    return Echt(f)->pMethods->xDeviceCharacteristics(Echt(f));
}
int ShmMap(sqlite3_file* f, int i, int n, int w, void volatile** p) {
    return Echt(f)->pMethods->xShmMap(Echt(f), i, n, w, p);
}
int ShmLock(sqlite3_file* f, int o, int n, int fl) {
    return Echt(f)->pMethods->xShmLock(Echt(f), o, n, fl);
}
void ShmBarrier(sqlite3_file* f) {
    Echt(f)->pMethods->xShmBarrier(Echt(f));
}
int ShmUnmap(sqlite3_file* f, int loeschen) {
    return Echt(f)->pMethods->xShmUnmap(Echt(f), Tot(f) ? 0 : loeschen);
}

int Oeffnen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* aus) {
    Datei* d = reinterpret_cast<Datei*>(f);
    d->echt = reinterpret_cast<sqlite3_file*>(d + 1);
    d->pfad = nullptr;
    d->generation = g_generation;
    const int rc = g_basis->xOpen(g_basis, name, d->echt, flags, aus);
    d->basis.pMethods = rc == SQLITE_OK ? &g_methoden : nullptr;
    if (rc != SQLITE_OK) return rc;
    if (name) {
        d->pfad = new std::string(name);
        std::lock_guard<std::mutex> l(g_sperre);
        // What is on disk when a file is first opened counts as synced.
        if (!g_bestand.count(*d->pfad)) g_bestand[*d->pfad] = Inhalt(d->echt);
    }
    return rc;
}
int Loeschen(sqlite3_vfs*, const char* name, int sync) {
    if (g_ausfall) return SQLITE_OK;
    {
        std::lock_guard<std::mutex> l(g_sperre);
        g_bestand.erase(name);
    }
    return g_basis->xDelete(g_basis, name, sync);
}
int Zugriff(sqlite3_vfs*, const char* n, int fl, int* aus) {
    return g_basis->xAccess(g_basis, n, fl, aus);
}
int VollerName(sqlite3_vfs*, const char* n, int l, char* aus) {
    return g_basis->xFullPathname(g_basis, n, l, aus);
}
int Zufall(sqlite3_vfs*, int n, char* aus) {
    return g_basis->xRandomness(g_basis, n, aus);
}
int Schlafen(sqlite3_vfs*, int us) {
    return g_basis->xSleep(g_basis, us);
}
int Zeit(sqlite3_vfs*, double* t) {
    return g_basis->xCurrentTime(g_basis, t);
}
int Fehler(sqlite3_vfs*, int n, char* aus) {
    return g_basis->xGetLastError ? g_basis->xGetLastError(g_basis, n, aus) : 0;
}
int Zeit64(sqlite3_vfs*, sqlite3_int64* t) {
    return g_basis->xCurrentTimeInt64(g_basis, t);
}

} // namespace

namespace Stromausfall {

void Einschalten() {
    std::lock_guard<std::mutex> l(g_sperre);
    if (!g_basis) {
        g_basis = sqlite3_vfs_find(nullptr);
        std::memset(&g_vfs, 0, sizeof g_vfs);
        g_vfs.iVersion = 2;
        g_vfs.szOsFile = static_cast<int>(sizeof(Datei)) + g_basis->szOsFile;
        g_vfs.mxPathname = g_basis->mxPathname;
        g_vfs.zName = "stromausfall";
        g_vfs.xOpen = Oeffnen;
        g_vfs.xDelete = Loeschen;
        g_vfs.xAccess = Zugriff;
        g_vfs.xFullPathname = VollerName;
        g_vfs.xRandomness = Zufall;
        g_vfs.xSleep = Schlafen;
        g_vfs.xCurrentTime = Zeit;
        g_vfs.xGetLastError = Fehler;
        g_vfs.xCurrentTimeInt64 = Zeit64;
        std::memset(&g_methoden, 0, sizeof g_methoden);
        g_methoden.iVersion = 2; // no memory mapping: every write goes through here
        g_methoden.xClose = Schliessen;
        g_methoden.xRead = Lesen;
        g_methoden.xWrite = Schreiben;
        g_methoden.xTruncate = Kuerzen;
        g_methoden.xSync = Sync;
        g_methoden.xFileSize = Groesse;
        g_methoden.xLock = Sperren;
        g_methoden.xUnlock = Entsperren;
        g_methoden.xCheckReservedLock = Gesperrt;
        g_methoden.xFileControl = Steuern;
        g_methoden.xSectorSize = Sektor;
        g_methoden.xDeviceCharacteristics = Eigenschaften;
        g_methoden.xShmMap = ShmMap;
        g_methoden.xShmLock = ShmLock;
        g_methoden.xShmBarrier = ShmBarrier;
        g_methoden.xShmUnmap = ShmUnmap;
        sqlite3_vfs_register(&g_vfs, 1);
    }
    g_bestand.clear();
    g_syncs = 0;
}

void Ausfall() {
    std::lock_guard<std::mutex> l(g_sperre);
    ++g_generation;
    g_ausfall = true;
}

void Wiederherstellen() {
    std::lock_guard<std::mutex> l(g_sperre);
    for (const auto& [pfad, inhalt] : g_bestand) {
        std::ofstream aus(pfad, std::ios::binary | std::ios::trunc);
        aus.write(inhalt.data(), static_cast<std::streamsize>(inhalt.size()));
        // The WAL index lives in memory; after a cut it is rebuilt.
        if (pfad.size() > 4 && pfad.compare(pfad.size() - 4, 4, "-wal") == 0)
            std::remove((pfad.substr(0, pfad.size() - 4) + "-shm").c_str());
    }
    g_bestand.clear();
    g_ausfall = false;
}

int Syncs() {
    return g_syncs;
}

} // namespace Stromausfall

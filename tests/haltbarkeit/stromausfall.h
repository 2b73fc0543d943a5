#pragma once
// A power cut for SQLite, in the test process only: a VFS over the default
// one that remembers each file as it was at its last sync. At the cut every
// file is put back to that state, everything written since is lost, and the
// connections still open can do no more harm.

namespace Stromausfall {
// Becomes the default VFS of the process (every connection opened from now on).
void Einschalten();
// The cut: from now on nothing the files open now write, sync, truncate or
// delete reaches the disk (close their connections next).
void Ausfall();
// The machine comes back: every file as it was at its last sync, the WAL index gone.
void Wiederherstellen();
// How many syncs reached the disk since `Einschalten`.
int Syncs();
} // namespace Stromausfall

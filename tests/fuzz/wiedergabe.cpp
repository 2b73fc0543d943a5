// Replays a corpus through a fuzz target with the normal compiler: every file
// below the given folders (or the given files) once, as CTest runs it.

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse);

int main(int argc, char** argv) {
    int n = 0;
    for (int i = 1; i < argc; ++i) {
        const QString pfad = QString::fromLocal8Bit(argv[i]);
        QStringList dateien;
        if (QFileInfo(pfad).isDir()) {
            QDirIterator it(pfad, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                dateien.append(it.next());
        } else {
            dateien.append(pfad);
        }
        dateien.sort();
        for (const QString& d : dateien) {
            QFile f(d);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "nicht lesbar: %s\n", qPrintable(d));
                return 1;
            }
            const QByteArray b = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(b.constData()), static_cast<std::size_t>(b.size()));
            ++n;
        }
    }
    std::printf("%d Eingaben ohne Befund\n", n);
    return n > 0 ? 0 : 1;
}

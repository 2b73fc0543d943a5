#include "bericht.h"

#include "database/zustand.h"
#include "platform/clock.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "util/csv.h"
#include "util/programmverlauf.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QDir>
#include <QPageLayout>
#include <QPageRanges>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTextStream>

namespace Berichte {

namespace {
QString Grund(const QSaveFile& datei) {
    return QStringLiteral("Die Datei %1 konnte nicht geschrieben werden: %2")
        .arg(datei.fileName(), datei.errorString());
}

QString Html(const Bericht& b) {
    QString h;
    QTextStream s(&h);
    s << "<html><body>";
    for (const Bericht::Tabelle& t : b.tabellen) {
        s << "<h3>" << t.ueberschrift.toHtmlEscaped() << "</h3>";
        if (t.zeilen.empty()) {
            s << "<p>" << t.leertext.toHtmlEscaped() << "</p>";
            continue;
        }
        s << "<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\"><thead><tr>";
        for (const QString& sp : t.spalten)
            s << "<th align=\"left\">" << sp.toHtmlEscaped() << "</th>";
        s << "</tr></thead>";
        for (const QStringList& z : t.zeilen) {
            s << "<tr>";
            for (const QString& w : z)
                s << "<td>" << w.toHtmlEscaped() << "</td>";
            s << "</tr>";
        }
        s << "</table>";
    }
    s << "</body></html>";
    return h;
}
} // namespace

bool CsvSchreiben(const QString& pfad, const QStringList& kopf, const std::function<void(const Schreiber&)>& fuellen,
                  QString& fehler) {
    // Written beside the target and put in its place only when complete.
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly)) {
        fehler = Grund(datei);
        return false;
    }
    QTextStream out(&datei);
    out.setEncoding(QStringConverter::Utf8);
    out << Csv::Anfang() << Csv::Zeile(kopf);
    fuellen([&out](const QStringList& zeile) { out << Csv::Zeile(zeile); });
    out.flush();
    if (out.status() != QTextStream::Ok || !datei.commit()) {
        fehler = Grund(datei);
        return false;
    }
    return true;
}

bool CsvSchreiben(const QString& pfad, const QStringList& kopf, const std::vector<QStringList>& zeilen,
                  QString& fehler) {
    return CsvSchreiben(
        pfad, kopf,
        [&zeilen](const Schreiber& schreiben) {
            for (const QStringList& z : zeilen)
                schreiben(z);
        },
        fehler);
}

bool PdfSchreiben(const QString& pfad, const Bericht& bericht, QString& fehler) {
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly)) {
        fehler = Grund(datei);
        return false;
    }
    {
        QPdfWriter pdf(&datei);
        pdf.setTitle(bericht.titel);
        pdf.setCreator(QStringLiteral("KORVAL Benutzerverwaltung"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        if (!Zeichnen(pdf, bericht)) datei.cancelWriting();
    }
    if (!datei.commit()) {
        fehler = Grund(datei);
        return false;
    }
    return true;
}

bool Zeichnen(QPagedPaintDevice& geraet, const Bericht& bericht) {
    QPainter p(&geraet);
    if (!p.isActive()) return false;
    const QRect seite = p.viewport();
    QFont schrift(QStringLiteral("Sans Serif"), 9);
    schrift.setStyleHint(QFont::SansSerif);
    QFont fett = schrift;
    fett.setBold(true);
    fett.setPointSize(12);
    const int zeile = QFontMetrics(schrift, &geraet).height();
    const int kopf = QFontMetrics(fett, &geraet).height() + 2 * zeile;
    const int fuss = 2 * zeile;
    const QRectF inhalt(0, 0, seite.width(), seite.height() - kopf - fuss);

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&geraet);
    doc.setDefaultFont(schrift);
    doc.setDocumentMargin(0);
    doc.setHtml(Html(bericht));
    doc.setPageSize(inhalt.size());

    const Anwendungszustand& z = Zustand();
    const QString stand = QStringLiteral("Firma: %1     Benutzer: %2     Stand: %3")
                              .arg(z.Firma, z.Benutzer.isEmpty() ? z.Personalcode : z.Benutzer,
                                   Uhr().Now().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    const int seiten = doc.pageCount();
    const QPageRanges bereich = geraet.pageRanges();
    bool erste = true;
    for (int i = 0; i < seiten; ++i) {
        if (!bereich.isEmpty() && !bereich.contains(i + 1)) continue;
        if (!erste) geraet.newPage();
        erste = false;
        p.setFont(fett);
        p.drawText(QRect(0, 0, seite.width(), kopf), Qt::AlignLeft | Qt::AlignTop, bericht.titel);
        p.setFont(schrift);
        p.drawText(QRect(0, 0, seite.width(), kopf - zeile / 2), Qt::AlignLeft | Qt::AlignBottom, stand);
        p.drawLine(0, kopf - zeile / 4, seite.width(), kopf - zeile / 4);
        p.drawText(QRect(0, seite.height() - zeile, seite.width(), zeile), Qt::AlignRight | Qt::AlignBottom,
                   QStringLiteral("Seite %1 von %2").arg(i + 1).arg(seiten));
        p.save();
        p.translate(0, kopf - i * inhalt.height());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = QRectF(0, i * inhalt.height(), inhalt.width(), inhalt.height());
        ctx.palette.setColor(QPalette::Text, Qt::black);
        p.setClipRect(ctx.clip);
        doc.documentLayout()->draw(&p, ctx);
        p.restore();
    }
    return true;
}

QString Speicherort(const QString& titel, const QString& dateiname, const QString& filter) {
    const QString dokumente = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return Dialoge().Speicherort(titel, QDir(dokumente.isEmpty() ? QDir::homePath() : dokumente).filePath(dateiname),
                                 filter);
}

void Melden(bool ok, const QString& fehler, const QString& datei) {
    if (ok) {
        Programmverlauf(QStringLiteral("Bericht"), QStringLiteral("Datei geschrieben"), datei);
        Dialoge().MsgBox(QStringLiteral("Die Datei %1 wurde geschrieben.").arg(QDir::toNativeSeparators(datei)),
                         DialogService::Information, QStringLiteral("Bericht"));
    } else {
        Dialoge().MsgBox(fehler, DialogService::Critical, QStringLiteral("Bericht"));
    }
}

void Abgebrochen(const QString& datei) {
    Programmverlauf(QStringLiteral("Bericht"), QStringLiteral("abgebrochen"), datei);
    Dialoge().MsgBox(QStringLiteral("Der Bericht wurde abgebrochen; die Datei %1 wurde nicht geschrieben.")
                         .arg(QDir::toNativeSeparators(datei)),
                     DialogService::Information, QStringLiteral("Bericht"));
}

} // namespace Berichte

// SPDX-License-Identifier: GPL-3.0-or-later
// Typesets the user manual (HTML) as the help document Help.pdf: A4 pages, page numbers at the
// bottom.
//
//   zelbor-help-pdf <in.html> <out.pdf>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <in.html> <out.pdf>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString inPath = QString::fromLocal8Bit(argv[1]);
    const QString outPath = QString::fromLocal8Bit(argv[2]);

    QFile in(inPath);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    const QString html = QString::fromUtf8(in.readAll());

    QTextDocument doc;
    // Pictures named in the manual are found beside it.
    doc.setBaseUrl(QUrl::fromLocalFile(QFileInfo(inPath).absolutePath() + QLatin1Char('/')));
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    font.setStyleHint(QFont::SansSerif);
    doc.setDefaultFont(font);
    doc.setHtml(html);
    const QString title = doc.metaInformation(QTextDocument::DocumentTitle);

    // Write to a temporary name first, so that a failed run leaves no half-written document that
    // the build would take as up to date.
    const QString tmpPath = outPath + QStringLiteral(".tmp");
    {
        QPdfWriter writer(tmpPath);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Portrait);
        writer.setResolution(300);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Zelbor Configuration Tool"));
        // The document has no page size of its own, so print() paginates it for the writer and
        // numbers the pages.
        doc.print(&writer);
    }
    QFile::remove(outPath);
    if (!QFileInfo(tmpPath).size() || !QFile::rename(tmpPath, outPath)) {
        QFile::remove(tmpPath);
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

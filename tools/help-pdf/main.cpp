// SPDX-License-Identifier: GPL-3.0-or-later
// Typesets the user manual (HTML) as the help document Help.pdf: A4 pages, page numbers at the
// bottom.
//
//   zelbor-help-pdf <in.html> <out.pdf> [<picture folder>]
//
// A picture the manual names by its plain file name is taken from the picture folder (the
// screenshots made by this build), else from beside the manual. A picture found in neither
// fails the run: a manual with an empty frame where its picture should be is not made.
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <QImage>
#include <QStringList>

#include <cstdio>
#include <utility>

namespace {

class ManualDocument : public QTextDocument {
public:
    explicit ManualDocument(QString pictures) : pictures_(std::move(pictures)) {}
    QStringList missing;

protected:
    QVariant loadResource(int type, const QUrl& name) override
    {
        if (type == QTextDocument::ImageResource) {
            const QString file = name.fileName();
            if (!pictures_.isEmpty() && !file.isEmpty()) {
                QImage image(pictures_ + QLatin1Char('/') + file);
                if (!image.isNull())
                    return image;
            }
            const QVariant found = QTextDocument::loadResource(type, name);
            if (!found.isValid() && !missing.contains(file))
                missing << file;
            return found;
        }
        return QTextDocument::loadResource(type, name);
    }

private:
    QString pictures_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <in.html> <out.pdf> [<picture folder>]\n", argv[0]);
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

    ManualDocument doc(argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString());
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
    if (!doc.missing.isEmpty()) {
        QFile::remove(tmpPath);
        std::fprintf(stderr, "%s names pictures that are not there: %s\n", argv[1],
                     qPrintable(doc.missing.join(QStringLiteral(", "))));
        return 1;
    }
    QFile::remove(outPath);
    if (!QFileInfo(tmpPath).size() || !QFile::rename(tmpPath, outPath)) {
        QFile::remove(tmpPath);
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

// Turns the Markdown user manual into the PDF the program opens from help/, and
// optionally into an HTML page for systems without a PDF viewer.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: make_manual MANUAL.md OUT.pdf [OUT.html]\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "make_manual: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());

    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setTitle(QStringLiteral("Orbelune User Manual"));
    pdf.setCreator(QStringLiteral("Orbelune"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
    pdf.setResolution(300);

    QTextDocument doc;
    doc.setDefaultStyleSheet(
        QStringLiteral("h1 { color: #1b6f66; } h2 { color: #1b6f66; } h3 { color: #2b3645; }"
                       "code { background-color: #eef1f4; }"));
    QFont body(QStringLiteral("DejaVu Serif"));
    body.setPointSizeF(10.5);
    doc.setDefaultFont(body);
    doc.setMarkdown(markdown);
    doc.print(&pdf);

    if (QFile(QString::fromLocal8Bit(argv[2])).size() == 0) {
        std::fprintf(stderr, "make_manual: nothing written to %s\n", argv[2]);
        return 1;
    }
    if (argc == 4) {
        QFile html(QString::fromLocal8Bit(argv[3]));
        if (!html.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            html.write(doc.toHtml().toUtf8()) < 0) {
            std::fprintf(stderr, "make_manual: cannot write %s\n", argv[3]);
            return 1;
        }
    }
    return 0;
}

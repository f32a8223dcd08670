// Turns the Markdown user manual into the PDF the program opens from help/ and
// into a single-file HTML page (pictures embedded) for systems without a PDF
// viewer. Pictures are `![caption](path)` relative to their Markdown file;
// command blocks are set in one monospace size at which none of them wraps.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTextLayout>
#include <QUrl>
#include <cstdio>
#include <vector>

namespace {

// A4 with these margins; the document is laid out in 96-dpi pixels.
constexpr double kPageWidthMm = 210, kPageHeightMm = 297;
constexpr double kMarginXMm = 20, kMarginYMm = 18;
constexpr double kLayoutDpi = 96;
// Command blocks start at this size and may shrink to the smallest one.
constexpr double kCodePointSize = 9.0;
constexpr double kMinCodePointSize = 7.0;
constexpr double kCodeIndentPx = 8;
constexpr double kInlineCodePointSize = 9.5;

struct Picture {
    QString key;   // the name the document knows it by
    QString path;  // the file it was read from
    QImage image;
    QByteArray png;
};

void Fail(const QString& message) {
    std::fprintf(stderr, "make_manual: %s\n", qPrintable(message));
}

bool ReadText(const QString& path, QString& text) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Fail(QStringLiteral("cannot read %1").arg(path));
        return false;
    }
    text = QString::fromUtf8(in.readAll());
    return true;
}

// Loads every picture a Markdown text names, renaming it to a key of its own
// (files of several folders may share a name) and giving each a caption line.
bool TakePictures(QString& markdown, const QString& baseDir, std::vector<Picture>& pictures) {
    static const QRegularExpression kImage(QStringLiteral(R"(!\[([^\]]*)\]\(([^)\s]+)\))"));
    QString out;
    qsizetype last = 0;
    auto it = kImage.globalMatch(markdown);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString caption = m.captured(1);
        const QString relative = m.captured(2);
        const QString path = QDir(baseDir).absoluteFilePath(relative);
        Picture picture;
        picture.path = path;
        if (!picture.image.load(path)) {
            Fail(QStringLiteral("cannot read the picture %1 (%2)").arg(relative, path));
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            Fail(QStringLiteral("cannot read the picture %1").arg(path));
            return false;
        }
        picture.png = file.readAll();
        picture.key = QStringLiteral("manual-picture-%1.png").arg(pictures.size());
        out += markdown.mid(last, m.capturedStart() - last);
        out += QStringLiteral("![%1](%2)").arg(caption, picture.key);
        // A picture alone on its line is a figure: its caption goes under it.
        const qsizetype lineStart = markdown.lastIndexOf(QLatin1Char('\n'), m.capturedStart()) + 1;
        qsizetype lineEnd = markdown.indexOf(QLatin1Char('\n'), m.capturedEnd());
        if (lineEnd < 0) lineEnd = markdown.size();
        if (!caption.isEmpty() &&
            markdown.mid(lineStart, m.capturedStart() - lineStart).trimmed().isEmpty() &&
            markdown.mid(m.capturedEnd(), lineEnd - m.capturedEnd()).trimmed().isEmpty()) {
            out += QStringLiteral("\n\n*%1*").arg(caption);
        }
        last = m.capturedEnd();
        pictures.push_back(std::move(picture));
    }
    out += markdown.mid(last);
    markdown = out;
    return true;
}

// Knows the pictures by their keys; the copy that printing lays out asks its
// original for them, which only finds them here.
class ManualDocument : public QTextDocument {
public:
    explicit ManualDocument(const std::vector<Picture>& pictures) : pictures_(pictures) {}

protected:
    QVariant loadResource(int type, const QUrl& name) override {
        if (type == QTextDocument::ImageResource) {
            for (const Picture& p : pictures_) {
                if (name.toString() == p.key) return p.image;
            }
        }
        return QTextDocument::loadResource(type, name);
    }

private:
    const std::vector<Picture>& pictures_;
};

bool IsCodeBlock(const QTextBlock& block) {
    const QTextBlockFormat f = block.blockFormat();
    return f.hasProperty(QTextFormat::BlockCodeFence) ||
           f.hasProperty(QTextFormat::BlockCodeLanguage);
}

QStringList LinesOf(const QTextBlock& block) {
    QString text = block.text();
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

QFont CodeFont(double pointSize) {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSizeF(pointSize);
    return font;
}

// Sets every command block in the largest size (down to the smallest allowed)
// at which its longest line fits the text width; false, naming the block, when
// one does not fit even then.
bool FitCodeBlocks(QTextDocument& doc, double textWidth, double& pointSize) {
    double widest = 0;
    QString widestLine;
    QString widestBlock;  // the first line of the block holding it
    const double available = textWidth - 2 * doc.documentMargin() - kCodeIndentPx - 2;
    QString runFirst;  // a command block may be one text block per line
    bool inRun = false;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (!IsCodeBlock(b)) {
            inRun = false;
            continue;
        }
        if (!inRun) runFirst = LinesOf(b).front().trimmed();
        inRun = true;
        const QFontMetricsF metrics(CodeFont(kCodePointSize));
        for (const QString& line : LinesOf(b)) {
            const double w = metrics.horizontalAdvance(line);
            if (w > widest) {
                widest = w;
                widestLine = line;
                widestBlock = runFirst;
            }
        }
    }
    pointSize = kCodePointSize;
    while (pointSize > kMinCodePointSize &&
           QFontMetricsF(CodeFont(pointSize)).horizontalAdvance(widestLine) > available) {
        pointSize -= 0.25;
    }
    if (QFontMetricsF(CodeFont(pointSize)).horizontalAdvance(widestLine) > available) {
        Fail(QStringLiteral("in the command block \"%4\", a line is too long for the page even "
                            "at %1 pt (keep it under %2 characters): \"%3\"")
                 .arg(kMinCodePointSize)
                 .arg(static_cast<int>(available / QFontMetricsF(CodeFont(kMinCodePointSize))
                                                       .horizontalAdvance(QLatin1Char('M'))))
                 .arg(widestLine.trimmed(), widestBlock));
        return false;
    }
    QTextCursor cursor(&doc);
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (!IsCodeBlock(b)) continue;
        cursor.setPosition(b.position());
        cursor.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        QTextCharFormat chars;
        chars.setFont(CodeFont(pointSize), QTextCharFormat::FontPropertiesAll);
        cursor.mergeCharFormat(chars);
        QTextBlockFormat block;
        block.setNonBreakableLines(true);
        block.setLeftMargin(kCodeIndentPx);
        block.setBackground(QColor(0xee, 0xf1, 0xf4));
        cursor.mergeBlockFormat(block);
    }
    // Commands inside the text in the same face, a little smaller than the text
    // (found first, then changed: changing formats splits fragments).
    struct Span {
        int start, end;
        bool bold, italic;
    };
    std::vector<Span> spans;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (IsCodeBlock(b)) continue;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat f = fragment.charFormat();
            if (!fragment.isValid() || f.isImageFormat()) continue;
            if (f.fontFixedPitch() ||
                f.fontFamilies().toStringList().contains(QStringLiteral("monospace")))
                spans.push_back({fragment.position(), fragment.position() + fragment.length(),
                                 f.fontWeight() >= QFont::Bold, f.fontItalic()});
        }
    }
    for (const Span& span : spans) {
        cursor.setPosition(span.start);
        cursor.setPosition(span.end, QTextCursor::KeepAnchor);
        QFont font = CodeFont(kInlineCodePointSize);
        font.setBold(span.bold);
        font.setItalic(span.italic);
        QTextCharFormat chars;
        chars.setFont(font, QTextCharFormat::FontPropertiesAll);
        cursor.mergeCharFormat(chars);
    }
    return true;
}

// Pictures no wider than the text, figures centred with their captions.
void PlacePictures(QTextDocument& doc, double textWidth) {
    const double maxWidth = textWidth - 2 * doc.documentMargin();
    QTextCursor cursor(&doc);
    bool captionNext = false;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        bool hasPicture = false;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat()) continue;
            hasPicture = true;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QImage picture =
                doc.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
            if (picture.isNull()) continue;
            // Screenshots at 80 %: the page's text is smaller than a screen's.
            double width = picture.width() * 0.8;
            if (width > maxWidth) width = maxWidth;
            image.setWidth(width);
            image.setHeight(width * picture.height() / picture.width());
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
        if (hasPicture || captionNext) {
            QTextBlockFormat centred;
            centred.setAlignment(Qt::AlignHCenter);
            cursor.setPosition(b.position());
            cursor.mergeBlockFormat(centred);
        }
        captionNext = hasPicture;
    }
}

// The HTML with every picture inside it, so the page needs nothing beside it.
QString EmbedPictures(QString html, const std::vector<Picture>& pictures) {
    for (const Picture& p : pictures) {
        const QString suffix = QFileInfo(p.path).suffix().toLower();
        QString type = QStringLiteral("png");
        QByteArray data = p.png;
        if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
            type = QStringLiteral("jpeg");
        } else if (suffix != QLatin1String("png")) {
            data.clear();
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            p.image.save(&buffer, "PNG");
        }
        html.replace(QStringLiteral("src=\"%1\"").arg(p.key),
                     QStringLiteral("src=\"data:image/%1;base64,%2\"")
                         .arg(type, QString::fromLatin1(data.toBase64())));
    }
    return html;
}

// The document's HTML, read in a column of a comfortable width in a browser.
QString PageHtml(const QTextDocument& doc) {
    QString html = doc.toHtml();
    html.replace(
        QStringLiteral("</head>"),
        QStringLiteral("<style>body { max-width: 48em; margin: 1.5em auto; padding: 0 1em; }"
                       " img { max-width: 100%; height: auto; }"
                       " h1, h2 { color: #1b6f66; } h3 { color: #2b3645; }</style>\n"
                       "</head>"));
    return html;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: make_manual MANUAL.md OUT.pdf [OUT.html] [--append FILE.md]...\n"
                 "  --append FILE.md  add a Markdown file (its pictures relative to it) at the "
                 "end; repeatable\n");
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QStringList positional, appended;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--append")) {
            if (i + 1 >= args.size()) {
                Usage();
                return 2;
            }
            appended << args[++i];
        } else if (args[i].startsWith(QLatin1String("--"))) {
            Usage();
            return 2;
        } else {
            positional << args[i];
        }
    }
    if (positional.size() != 2 && positional.size() != 3) {
        Usage();
        return 2;
    }
    const QString pdfPath = positional[1];
    const QString htmlPath = positional.size() == 3 ? positional[2] : QString();

    std::vector<Picture> pictures;
    QString markdown;
    for (const QString& source : QStringList{positional[0]} + appended) {
        QString text;
        if (!ReadText(source, text)) return 1;
        if (!TakePictures(text, QFileInfo(source).absolutePath(), pictures)) return 1;
        if (!markdown.isEmpty()) markdown += QStringLiteral("\n\n");
        markdown += text;
    }

    const double pxPerMm = kLayoutDpi / 25.4;
    const double textWidth = (kPageWidthMm - 2 * kMarginXMm) * pxPerMm;
    const double textHeight = (kPageHeightMm - 2 * kMarginYMm) * pxPerMm;

    ManualDocument doc(pictures);
    doc.setDefaultStyleSheet(
        QStringLiteral("h1 { color: #1b6f66; } h2 { color: #1b6f66; } h3 { color: #2b3645; }"
                       "code { background-color: #eef1f4; }"));
    QFont body(QStringLiteral("DejaVu Serif"));
    body.setPointSizeF(10.5);
    doc.setDefaultFont(body);
    doc.setMarkdown(markdown);
    doc.setPageSize(QSizeF(textWidth, textHeight));
    double codeSize = 0;
    if (!FitCodeBlocks(doc, textWidth, codeSize)) return 1;
    PlacePictures(doc, textWidth);

    // The layout has the last word: a command line that wraps anyway fails.
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (!IsCodeBlock(b) || !b.layout()) continue;
        if (b.layout()->lineCount() > LinesOf(b).size()) {
            Fail(QStringLiteral("the command block \"%1\" wraps on the page").arg(b.text()));
            return 1;
        }
    }

    QPdfWriter pdf(pdfPath);
    pdf.setTitle(QStringLiteral("Orbelune User Manual"));
    pdf.setCreator(QStringLiteral("Orbelune"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(kMarginXMm, kMarginYMm, kMarginXMm, kMarginYMm),
                       QPageLayout::Millimeter);
    pdf.setResolution(300);
    doc.print(&pdf);
    if (QFileInfo(pdfPath).size() == 0) {
        Fail(QStringLiteral("nothing written to %1").arg(pdfPath));
        return 1;
    }

    if (!htmlPath.isEmpty()) {
        QFile html(htmlPath);
        if (!html.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            html.write(EmbedPictures(PageHtml(doc), pictures).toUtf8()) < 0) {
            Fail(QStringLiteral("cannot write %1").arg(htmlPath));
            return 1;
        }
    }
    return 0;
}

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ToolRun {
    int code = -1;
    QString errors;
};

class MakeManualTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QFile::exists(tool_)) << qPrintable(tool_) << " not built";
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("images")));
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("generated/pics")));
        QImage red(40, 20, QImage::Format_RGB32);
        red.fill(Qt::red);
        ASSERT_TRUE(red.save(Path("images/red.png")));
        QImage blue(30, 30, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        ASSERT_TRUE(blue.save(Path("generated/pics/blue.png")));
    }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    void Write(const QString& name, const QByteArray& text) const {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QByteArray Read(const QString& name) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    ToolRun Make(QStringList args) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        p.setProcessEnvironment(env);
        p.start(tool_, args);
        if (!p.waitForFinished(60000)) return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardError())};
    }

    QTemporaryDir dir_;
    const QString tool_ = QStringLiteral(ORBELUNE_BIN_DIR "/make_manual");
};

TEST_F(MakeManualTest, PicturesOfEveryFileAreEmbeddedAndAppendedFilesFollowInOrder) {
    Write("manual.md",
          "# Manual\n\nIntro.\n\n![A red picture](images/red.png)\n\n"
          "    orbelune-cli info FILE\n");
    // Its picture is relative to its own folder, not to the manual's.
    Write("generated/cli.md", "## Reference\n\n![Blue](pics/blue.png)\n\nLast words.\n");
    Write("generated/more.md", "## More\n\nReally the end.\n");
    const ToolRun run =
        Make({Path("manual.md"), Path("out.pdf"), Path("out.html"), QStringLiteral("--append"),
              Path("generated/cli.md"), QStringLiteral("--append"), Path("generated/more.md")});
    ASSERT_EQ(run.code, 0) << qPrintable(run.errors);

    const QByteArray pdf = Read("out.pdf");
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_GE(pdf.count("/Subtype /Image"), 2);

    const QString html = QString::fromUtf8(Read("out.html"));
    EXPECT_EQ(html.count(QStringLiteral("src=\"data:image/png;base64,")), 2);
    EXPECT_FALSE(html.contains(QStringLiteral("red.png")));  // nothing to install beside it
    // The picture's caption is shown under it.
    EXPECT_TRUE(html.contains(QStringLiteral("A red picture</span>")));
    const qsizetype intro = html.indexOf(QStringLiteral("Intro."));
    const qsizetype reference = html.indexOf(QStringLiteral("Reference"));
    const qsizetype end = html.indexOf(QStringLiteral("Really the end."));
    EXPECT_TRUE(intro >= 0 && reference > intro && end > reference) << intro << reference << end;
    // The embedded picture is the file's own.
    const qsizetype at = html.indexOf(QStringLiteral("base64,")) + 7;
    const QByteArray data =
        QByteArray::fromBase64(html.mid(at, html.indexOf(QLatin1Char('"'), at) - at).toLatin1());
    EXPECT_EQ(data, Read("images/red.png"));
}

TEST_F(MakeManualTest, ACommandLineTooLongForThePageFailsNamingItsBlock) {
    const QByteArray longLine = "orbelune-cli unwarp " + QByteArray(140, 'x');
    Write("manual.md",
          "# Manual\n\n    orbelune-cli detect IMAGE\n\nText.\n\n"
          "```\norbelune-cli first-line-of-block\n" +
              longLine + "\n```\n");
    const ToolRun tooLong = Make({Path("manual.md"), Path("out.pdf")});
    EXPECT_EQ(tooLong.code, 1);
    EXPECT_TRUE(tooLong.errors.contains(QStringLiteral("orbelune-cli first-line-of-block")))
        << qPrintable(tooLong.errors);
    EXPECT_TRUE(tooLong.errors.contains(QStringLiteral("too long"))) << qPrintable(tooLong.errors);

    // A line that fits only in a smaller type is set smaller, not wrapped.
    const QByteArray fits = "orbelune-cli unwarp " + QByteArray(80, 'y');
    Write("manual.md", "# Manual\n\n```\n" + fits + "\n```\n");
    const ToolRun shrunk = Make({Path("manual.md"), Path("out.pdf"), Path("out.html")});
    ASSERT_EQ(shrunk.code, 0) << qPrintable(shrunk.errors);
    const QString html = QString::fromUtf8(Read("out.html"));
    EXPECT_TRUE(html.contains(QStringLiteral("DejaVu Sans Mono")));
    EXPECT_FALSE(html.contains(QStringLiteral("font-size:9pt;"))) << "not shrunk";
}

TEST_F(MakeManualTest, AMissingPictureOrFileFailsNamingIt) {
    Write("manual.md", "# Manual\n\n![Gone](images/missing.png)\n");
    ToolRun run = Make({Path("manual.md"), Path("out.pdf")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("images/missing.png")))
        << qPrintable(run.errors);

    Write("manual.md", "# Manual\n");
    run = Make({Path("manual.md"), Path("out.pdf"), QStringLiteral("--append"), Path("nope.md")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("nope.md"))) << qPrintable(run.errors);

    EXPECT_EQ(Make({Path("manual.md"), Path("out.pdf"), QStringLiteral("--append")}).code, 2);
    EXPECT_EQ(Make({Path("manual.md")}).code, 2);
}

}  // namespace

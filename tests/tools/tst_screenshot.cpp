#include "tests/tools/toolrun.h"
#include "tools/screenshot.h"

#include "platform/screencapture.h"
#include "tests/support/testenvironment.h"

#include <QClipboard>
#include <QCoroTask>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>

namespace {

const QString fixtures = QStringLiteral(TOVRA_FIXTURES);

// A capture service that hands out a prepared outcome.
class PreparedCapture : public ScreenCapture
{
public:
    PreparedCapture(ScreenCaptureResult::Status status, QImage image)
        : m_result{status, std::move(image), "The user declined"}
    {}
    QCoro::Task<ScreenCaptureResult> capture() override { co_return m_result; }

private:
    ScreenCaptureResult m_result;
};

// Runs the screenshot tool with this capture service.
QString execute(std::shared_ptr<ScreenCapture> capture)
{
    return runTool(ToolServices{nullptr, std::move(capture), {}}, QStringLiteral("take_screenshot"));
}

QString captured(const QImage &image)
{
    return execute(std::make_shared<PreparedCapture>(ScreenCaptureResult::Status::Captured, image));
}

const QString dataUrlPrefix = QStringLiteral("data:image/jpeg;base64,");

// The JPEG of a data URL; an empty image for anything else.
QImage decodeDataUrl(const QString &result)
{
    QByteArray jpeg = QByteArray::fromBase64(result.mid(dataUrlPrefix.size()).toLatin1(),
                                             QByteArray::AbortOnBase64DecodingErrors);
    QBuffer buffer(&jpeg);
    QImageReader reader(&buffer, "jpeg");
    return result.startsWith(dataUrlPrefix) ? reader.read() : QImage();
}

QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x % 256, y % 256, (x / 8) % 256, 255));
    return image;
}

QStringList desktopScreenshots()
{
    return QDir(Screenshot::desktopDirectory()).entryList({"Screenshot_*.jpg"}, QDir::Files);
}

} // namespace

class ScreenshotTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        QDir(Screenshot::desktopDirectory()).removeRecursively();
    }

    void dataUrlOfACapture_data()
    {
        columns<QSize, QSize>("size", "sent");
        QTest::newRow("2560 wide: halved") << QSize(2560, 1600) << QSize(1280, 800);
        QTest::newRow("1280 wide: kept") << QSize(1280, 720) << QSize(1280, 720);
        QTest::newRow("1000 wide: not enlarged") << QSize(1000, 600) << QSize(1000, 600);
        QTest::newRow("height cut toward zero") << QSize(3000, 1999) << QSize(1280, 852);
        QTest::newRow("odd width") << QSize(1281, 3) << QSize(1280, 2);
    }

    void dataUrlOfACapture()
    {
        const auto [size, sent] = fetch<QSize, QSize>("size", "sent");
        const QImage image = gradient(size.width(), size.height());
        const QString result = captured(image);
        QVERIFY(!result.contains('\n'));
        const QImage decoded = decodeDataUrl(result);
        QCOMPARE(decoded.size(), sent);
        // The picture survives scaling: a pixel near the middle keeps roughly its colour.
        const int expected = qBlue(image.pixel(size.width() / 2, size.height() / 2));
        const int actual = qBlue(decoded.pixel(sent.width() / 2, sent.height() / 2));
        QVERIFY2(qAbs(actual - expected) < 24,
                 qPrintable(QString("%1 for %2").arg(actual).arg(expected)));

        // The same JPEG is on the Desktop, named by the local time.
        const QStringList saved = desktopScreenshots();
        QCOMPARE(saved.size(), 1);
        QVERIFY2(QRegularExpression("^Screenshot_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.jpg$")
                     .match(saved[0])
                     .hasMatch(),
                 qPrintable(saved[0]));
        const QByteArray file
            = readTestFile(QDir(Screenshot::desktopDirectory()).filePath(saved[0]));
        QCOMPARE(dataUrlPrefix + QString::fromLatin1(file.toBase64()), result);
        QCOMPARE(Screenshot::fileName(QDateTime(QDate(2024, 3, 9), QTime(7, 5, 4))),
                 "Screenshot_2024-03-09_07-05-04.jpg");
    }

    void failures_data()
    {
        columns<int, QImage, QString>("status", "image", "result");
        using S = ScreenCaptureResult::Status;
        const QString unencoded = "Screenshot encoding failed";
        addRow("no display", int(S::NoDisplay), QImage(), "No display found");
        QTest::newRow("capture refused")
            << int(S::Failed) << QImage()
            << "Screenshot failed: The user declined. Grant Screen Recording permission in System "
               "Settings > Privacy & Security.";
        addRow("empty image", int(S::Captured), QImage(), unencoded);
        addRow("scaled to nothing", int(S::Captured), gradient(2600, 1), unencoded);
    }

    void failures()
    {
        const auto [status, image, result]
            = fetch<int, QImage, QString>("status", "image", "result");
        QCOMPARE(execute(
                     std::make_shared<PreparedCapture>(ScreenCaptureResult::Status(status), image)),
                 result);
        QVERIFY(desktopScreenshots().isEmpty());
    }

    void desktopCopyIsBestEffort()
    {
        // A file where the Desktop folder should be: saving fails, the image still comes back.
        QFile blocker(Screenshot::desktopDirectory());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QCOMPARE(decodeDataUrl(captured(gradient(300, 200))).size(), QSize(300, 200));
        QVERIFY(blocker.remove());
    }

    void primaryScreenOfARealDisplay()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("no X server: the offscreen platform has nothing to capture");
        QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(2560, 1440));
        QCOMPARE(decodeDataUrl(execute(std::make_shared<QtScreenCapture>())).size(),
                 QSize(1280, 720));
        QCOMPARE(desktopScreenshots().size(), 1);
    }

    void commandCapture()
    {
        // The macOS path: the capture tool writes a PNG that is read back.
        const QString png = QDir::home().filePath("capture-source.png");
        QVERIFY(gradient(2000, 1000).save(png));
        qputenv("STANDIN_CAPTURE_IMAGE", png.toUtf8());
        const auto capture = std::make_shared<CommandScreenCapture>(fixtures + "/screencapture");
        QCOMPARE(decodeDataUrl(execute(capture)).size(), QSize(1280, 640));
        qputenv("STANDIN_CAPTURE_ERROR", "could not create image from display.");
        QCOMPARE(execute(capture),
                 "Screenshot failed: could not create image from display. Grant Screen "
                 "Recording permission in System Settings > Privacy & Security.");
        qunsetenv("STANDIN_CAPTURE_ERROR");
    }

    void clipboard_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "hello";
        QTest::newRow("multi-line and unicode") << "Grüße ✓\n\"quoted\" $(not run)";
        QTest::newRow("empty text stays empty") << "";
    }

    void clipboard()
    {
        QFETCH(QString, text);
        QCOMPARE(runTool({}, "set_clipboard", {{"text", text}}), "Clipboard set");
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        QCOMPARE(runTool({}, "get_clipboard"), text);
        // Only an image, or nothing at all, reads as empty.
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QGuiApplication::clipboard()->setImage(image);
        QCOMPARE(runTool({}, "get_clipboard"), "(empty clipboard)");
        QGuiApplication::clipboard()->clear();
        QCOMPARE(runTool({}, "get_clipboard"), "(empty clipboard)");
    }
};

TOVRA_TEST_MAIN(ScreenshotTest, QGuiApplication)
#include "tst_screenshot.moc"

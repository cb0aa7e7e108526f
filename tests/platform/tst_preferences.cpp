#include "platform/paths.h"
#include "platform/preferences.h"
#include "tests/support/testenvironment.h"

class PreferencesTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void storeIsPrivate()
    {
        QSettings settings;
        QVERIFY2(settings.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")),
                 qPrintable(settings.fileName()));
        QVERIFY(settings.fileName().endsWith("Tovra AI/Tovra AI.conf"));
        QVERIFY(Paths::appDataDirectory().startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
        QVERIFY(Paths::appDataDirectory().endsWith("/Tovra AI"));
        QVERIFY(Paths::modelsDirectory().endsWith("/Tovra AI/models"));
    }

    // Values must read back with their type after a flush and a fresh reader of the file.
    void valuesSurviveOnDisk()
    {
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes.append(char(i));
        Preferences::setString("text", "héllo \"world\"\nline=2");
        Preferences::setDouble("double", 0.35);
        Preferences::setInteger("integer", 4096);
        Preferences::setBoolean("flag", true);
        Preferences::setData("bytes", bytes);
        Preferences::sync();

        const QString file = QSettings().fileName();
        QSettings reader(file, QSettings::IniFormat);
        QCOMPARE(reader.value("text").toString(), "héllo \"world\"\nline=2");
        QCOMPARE(reader.value("double").toDouble(), 0.35);
        QCOMPARE(reader.value("integer").toInt(), 4096);
        QCOMPARE(reader.value("flag").toBool(), true);
        const QString dataFile = QFileInfo(file).dir().filePath("Tovra AI.bytes.data");
        QCOMPARE(readTestFile(dataFile), bytes);

        // A removed value is gone from the file, and a removed blob from its own file.
        Preferences::remove("text");
        Preferences::remove("bytes");
        Preferences::sync();
        QVERIFY(!Preferences::contains("text") && !Preferences::contains("bytes"));
        QCOMPARE(Preferences::data("bytes"), std::nullopt);
        QVERIFY(!QSettings(file, QSettings::IniFormat).contains("text"));
        QVERIFY(!QFile::exists(dataFile));
    }
};

TOVRA_TEST_MAIN(PreferencesTest, QCoreApplication)
#include "tst_preferences.moc"

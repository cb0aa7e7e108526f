#include "platform/paths.h"
#include "platform/preferences.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

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
        QVERIFY(settings.fileName().endsWith(QStringLiteral("Tovra AI/Tovra AI.conf")));
        QVERIFY(Paths::appDataDirectory().startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
        QVERIFY(Paths::appDataDirectory().endsWith(QStringLiteral("/Tovra AI")));
        QVERIFY(Paths::modelsDirectory().endsWith(QStringLiteral("/Tovra AI/models")));
    }

    void absentValues()
    {
        QCOMPARE(Preferences::string(QStringLiteral("nothing")), std::nullopt);
        QCOMPARE(Preferences::doubleValue(QStringLiteral("nothing")), 0.0);
        QCOMPARE(Preferences::integer(QStringLiteral("nothing")), 0);
        QCOMPARE(Preferences::boolean(QStringLiteral("nothing")), false);
        QCOMPARE(Preferences::boolean(QStringLiteral("nothing"), true), true);
        QCOMPARE(Preferences::data(QStringLiteral("nothing")), std::nullopt);
    }

    // Values must read back with their type after a flush and a fresh reader of the file.
    void valuesSurviveOnDisk()
    {
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes.append(char(i));
        Preferences::setString(QStringLiteral("text"), QStringLiteral("héllo \"world\"\nline=2"));
        Preferences::setString(QStringLiteral("empty"), QString());
        Preferences::setDouble(QStringLiteral("double"), 0.35);
        Preferences::setInteger(QStringLiteral("integer"), 4096);
        Preferences::setBoolean(QStringLiteral("flag"), true);
        Preferences::setData(QStringLiteral("bytes"), bytes);
        Preferences::sync();

        const QString file = QSettings().fileName();
        QSettings reader(file, QSettings::IniFormat);
        QCOMPARE(reader.value("text").toString(), QStringLiteral("héllo \"world\"\nline=2"));
        QCOMPARE(reader.value("double").toDouble(), 0.35);
        QCOMPARE(reader.value("integer").toInt(), 4096);
        QCOMPARE(reader.value("flag").toBool(), true);
        QFile dataFile(QFileInfo(file).dir().filePath(QStringLiteral("Tovra AI.bytes.data")));
        QVERIFY(dataFile.open(QIODevice::ReadOnly));
        QCOMPARE(dataFile.readAll(), bytes);

        QCOMPARE(Preferences::string(QStringLiteral("empty")), QString());
        QCOMPARE(Preferences::doubleValue(QStringLiteral("double")), 0.35);
        QCOMPARE(Preferences::integer(QStringLiteral("integer")), 4096);
        QCOMPARE(Preferences::data(QStringLiteral("bytes")), bytes);
    }

    void removeKey()
    {
        Preferences::setData(QStringLiteral("blob"), QByteArray("x"));
        QVERIFY(Preferences::contains(QStringLiteral("blob")));
        Preferences::remove(QStringLiteral("blob"));
        QVERIFY(!Preferences::contains(QStringLiteral("blob")));
        QCOMPARE(Preferences::data(QStringLiteral("blob")), std::nullopt);

        Preferences::setString(QStringLiteral("gone"), QStringLiteral("x"));
        QVERIFY(Preferences::contains(QStringLiteral("gone")));
        Preferences::remove(QStringLiteral("gone"));
        Preferences::sync();
        QVERIFY(!Preferences::contains(QStringLiteral("gone")));
        QSettings reader(QSettings().fileName(), QSettings::IniFormat);
        QVERIFY(!reader.contains("gone"));
    }
};

TOVRA_TEST_MAIN(PreferencesTest, QCoreApplication)
#include "tst_preferences.moc"

#pragma once

// The prelude of every test: Qt Core and Qt Test whole, so that a test names only what is its own.
#include <QtTest>

// Points HOME and the XDG folders at a private temp folder, so that tests never
// touch the user's preference store, data folder, Desktop or Trash. Must run
// before the application object exists (QSettings reads the paths once).
class TestEnvironment
{
public:
    TestEnvironment();
    QString home() const { return m_dir.path(); }
    static void setApplicationIdentity();

private:
    QTemporaryDir m_dir;
};

// Writes a whole file, making its folder first; false when that fails.
bool writeTestFile(const QString &path, const QByteArray &bytes);
// A whole file's bytes; empty when it cannot be read.
QByteArray readTestFile(const QString &path);
// The text of one role in every row of a list model, in order.
QStringList roleTexts(const QAbstractItemModel &model, int role);
// Gone, or a zombie nobody has reaped yet.
bool processGone(qint64 pid);

// Turns any Qt warning that is not platform noise into a failure of the running test
// function (binding loops, QML type errors, "Destroyed while process is running").
// Qt resets these patterns after every test function: call it from each init().
void failOnUnexpectedWarnings();
// The same rule as a regular expression, for QML tests: a global property
// "unexpectedWarningPattern" that their init() hands to failOnWarning().
QString unexpectedWarningPattern();

// The data columns in order, a type and a name each: columns<QString, bool>("text", "shown").
template<typename... Types, typename... Names>
void columns(const Names &...names)
{
    static_assert(sizeof...(Types) == sizeof...(Names), "one name per column type");
    (QTest::addColumn<Types>(names), ...);
}

// The current row's values of the named columns, in order:
// const auto [text, shown] = fetch<QString, bool>("text", "shown").
template<typename... Types, typename... Names>
std::tuple<Types...> fetch(const Names &...names)
{
    static_assert(sizeof...(Types) == sizeof...(Names), "one name per column type");
    return {*static_cast<Types *>(QTest::qData(names, qMetaTypeId<Types>()))...};
}

// One data row: its tag, then a value per column in order (text literals fill QString columns).
template<typename... Values>
void addRow(const char *tag, const Values &...values)
{
    (QTest::newRow(tag) << ... << values);
}

// Like QTEST_MAIN, with the private environment and the app's settings identity.
#define TOVRA_TEST_MAIN(TestClass, AppClass) \
    int main(int argc, char **argv) \
    { \
        TestEnvironment environment; \
        AppClass app(argc, argv); \
        TestEnvironment::setApplicationIdentity(); \
        app.setAttribute(Qt::AA_Use96Dpi, true); \
        TestClass tc; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return QTest::qExec(&tc, argc, argv); \
    }

#include "toolcatalogue.h"

#include "testenvironment.h"

#include <QtTest>

#include <nlohmann/json.hpp>

using nlohmann::json;

class ToolCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void definitionsInCatalogueOrder()
    {
        const json definitions = ToolCatalogue::toolDefinitions();
        QVERIFY(definitions.is_array());
        const QStringList expected{"take_screenshot", "read_file",     "write_file",        "list_files",
                                   "delete_file",     "open_app",      "close_app",         "list_open_apps",
                                   "get_system_info", "get_clipboard", "set_clipboard",     "list_local_models",
                                   "download_model",  "set_active_model"};
        QStringList names;
        for (const json &definition : definitions) {
            QCOMPARE(definition.at("type"), "function");
            QCOMPARE(definition.size(), 2u);
            names.append(QString::fromStdString(definition.at("function").at("name").get<std::string>()));
        }
        QCOMPARE(names, expected);
    }

    void definitionForm_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("definition");
        QTest::newRow("two parameters, required in table order")
            << "write_file"
            << R"({"type":"function","function":{"name":"write_file","description":"Write content to a file.",
                  "parameters":{"type":"object","properties":{
                     "path":{"type":"string","description":"The absolute file path"},
                     "content":{"type":"string","description":"The content to write"}},
                  "required":["path","content"]}}})";
        QTest::newRow("no parameters: empty object and list")
            << "take_screenshot"
            << R"({"type":"function","function":{"name":"take_screenshot",
                  "description":"Capture the current screen. Returns base64 encoded image.",
                  "parameters":{"type":"object","properties":{},"required":[]}}})";
        QTest::newRow("pointer tool still declares its parameter")
            << "set_active_model"
            << R"({"type":"function","function":{"name":"set_active_model",
                  "description":"Switch the active model (use the Models tab instead).",
                  "parameters":{"type":"object","properties":{
                     "model_name":{"type":"string","description":"Name of the model to activate"}},
                  "required":["model_name"]}}})";
    }

    void definitionForm()
    {
        QFETCH(QString, tool);
        QFETCH(QString, definition);
        const json expected = json::parse(definition.toStdString());
        for (const json &candidate : ToolCatalogue::toolDefinitions()) {
            if (candidate.at("function").at("name") == tool.toStdString()) {
                QCOMPARE(candidate.dump(), expected.dump());
                // "required" must keep its order, which an object comparison would not catch.
                QCOMPARE(candidate.at("function").at("parameters").at("required"),
                         expected.at("function").at("parameters").at("required"));
                return;
            }
        }
        QFAIL("tool not in the definitions");
    }

    void everyToolHasTitleAndSubtitle()
    {
        for (const ToolSpec &spec : ToolCatalogue::tools()) {
            QVERIFY(!ToolCatalogue::displayTitle(spec.name).isEmpty());
            QVERIFY(!ToolCatalogue::displaySubtitle(spec.name).isEmpty());
            QVERIFY(ToolCatalogue::displayTitle(spec.name) != spec.name);
        }
    }

    void displayTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("open_app") << "open_app" << "Open Application" << "Launch an application";
        QTest::newRow("get_system_info") << "get_system_info" << "Get System Info" << "Get macOS system information";
        QTest::newRow("delete_file") << "delete_file" << "Delete File" << "Move a file to Trash";
        QTest::newRow("mis-cased name is unknown") << "Open_App" << "Open_App" << "";
        QTest::newRow("unknown name") << "format_disk" << "format_disk" << "";
    }

    void displayTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QCOMPARE(ToolCatalogue::displayTitle(name), title);
        QCOMPARE(ToolCatalogue::displaySubtitle(name), subtitle);
        QCOMPARE(ToolCatalogue::isKnownTool(name), !subtitle.isEmpty());
    }

    void argumentIcons_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("icon");
        QTest::newRow("path") << "path" << "folder";
        QTest::newRow("directory") << "directory" << "folder";
        QTest::newRow("content") << "content" << "doc.text";
        QTest::newRow("app_name") << "app_name" << "app.badge";
        QTest::newRow("name") << "name" << "app.badge";
        QTest::newRow("text") << "text" << "text.quote";
        QTest::newRow("upper case key") << "PATH" << "folder";
        QTest::newRow("model_name") << "model_name" << "chevron.right";
        QTest::newRow("empty") << "" << "chevron.right";
    }

    void argumentIcons()
    {
        QFETCH(QString, key);
        QFETCH(QString, icon);
        QCOMPARE(ToolCatalogue::argumentIcon(key), icon);
    }
};

TOVRA_TEST_MAIN(ToolCatalogueTest, QCoreApplication)
#include "tst_toolcatalogue.moc"

#pragma once

#include "tests/support/testenvironment.h"
#include "ui/components/iconimageprovider.h"

#include <QQmlEngine>

// What the engine of every QML test needs: the app's module and icons, and the warning
// rule as the global "unexpectedWarningPattern" for each init() to hand to failOnWarning().
inline void prepareQmlEngine(QQmlEngine *engine)
{
    engine->globalObject().setProperty("unexpectedWarningPattern", unexpectedWarningPattern());
    engine->addImportPath("qrc:/qt/qml");
    engine->addImageProvider("icons", new IconImageProvider);
}

#include "ui/app/qmlengine.h"

#include "ui/components/iconimageprovider.h"

#include <QQmlApplicationEngine>

void setUpQmlEngine(QQmlEngine &engine)
{
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.addImageProvider(QStringLiteral("icons"), new IconImageProvider);
}

void loadAppWindow(QQmlApplicationEngine &engine)
{
    setUpQmlEngine(engine);
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/TovraAI/App/Main.qml")));
    // The first load installs a file selector that looks every URL the engine resolves up on
    // disk for "+selector" variants. The app has none, and every text edit of a reply
    // resolves its base URL when made: about a fifth of the cost of a streamed paragraph.
    const auto interceptors = engine.urlInterceptors();
    for (QQmlAbstractUrlInterceptor *interceptor : interceptors)
        engine.removeUrlInterceptor(interceptor);
}

// What each kind of Markdown block costs the window: a reply of 60 blocks of one kind is set
// at once into the reply view of a window, and the UI thread's CPU time is taken for building
// the blocks (items, bindings, text layout) and for the first frame that draws them (the
// software renderer, offscreen). Median of 5; per block.
//
// Then a long reply of every kind (350 blocks) as the view moves down it, as a list does when it
// follows a streaming reply: the UI thread's CPU time per frame, median of 60 frames.

#include "bench/benchwindow.h"
#include "bench/measure.h"
#include "tests/support/testenvironment.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int blocks = 60;

void waitForFrame(QQuickWindow *window)
{
    bool swapped = false;
    const auto connection = QObject::connect(
        window, &QQuickWindow::frameSwapped, window, [&] { swapped = true; }, Qt::DirectConnection);
    window->update(); // a frame even when nothing changed
    while (!swapped)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QObject::disconnect(connection);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    bench::startWindowBench();
    TestEnvironment environment;
    QGuiApplication application(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QQmlEngine engine;
    setUpQmlEngine(engine);
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQuick
        import TovraAI.Markdown
        Window {
            width: 900; height: 700; visible: true
            property alias text: view.text
            property alias contentY: flickable.contentY
            Flickable {
                id: flickable
                anchors.fill: parent
                contentHeight: view.height
                MarkdownContentView { id: view; width: 860 }
            }
        })",
                      QUrl());
    auto *window = qobject_cast<QQuickWindow *>(component.create());
    if (!window) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    waitForFrame(window);

    const struct
    {
        const char *name;
        const char *markdown;
    } kinds[] = {
        {"paragraph",
         "This paragraph explains the **important** part, with `inline code`, a "
         "[link](https://example.com) and some *emphasis*.\n\n"},
        {"heading", "## Step N: setting things up\n\n"},
        {"bullet", "- first point with `code`\n\n"},
        {"table", "| Item | Count |\n|:-----|------:|\n| apples | 3 |\n\n"},
        {"code block", "```python\ndef step(items):\n    return sum(items)\n```\n\n"},
    };
    std::printf("bench_markdown: %d blocks of one kind at once, UI thread CPU per block "
                "(median of 5)\n",
                blocks);
    for (const auto &kind : kinds) {
        QString text;
        for (int i = 0; i < blocks; ++i)
            text += QString::fromUtf8(kind.markdown);
        std::vector<double> build, frame;
        for (int round = 0; round < 5; ++round) {
            window->setProperty("text", QString());
            waitForFrame(window);
            const double start = bench::threadCpuMs();
            window->setProperty("text", text);
            const double built = bench::threadCpuMs();
            waitForFrame(window);
            const double drawn = bench::threadCpuMs();
            build.push_back((built - start) / blocks);
            frame.push_back((drawn - built) / blocks);
        }
        std::printf("  %-10s build %.3f ms, first frame %.3f ms\n",
                    kind.name,
                    median(build),
                    median(frame));
    }

    QString reply;
    for (int i = 0; i < blocks * 7 / 6; ++i)
        for (const auto &kind : kinds)
            reply += QString::fromUtf8(kind.markdown);
    window->setProperty("text", reply);
    waitForFrame(window);
    std::vector<double> frames;
    for (int step = 1; step <= 60; ++step) {
        const double start = bench::threadCpuMs();
        window->setProperty("contentY", step * 30);
        waitForFrame(window);
        frames.push_back(bench::threadCpuMs() - start);
    }
    std::printf("  a reply of %d blocks, moved by 30 px: %.3f ms a frame\n",
                blocks * 7 / 6 * int(std::size(kinds)),
                median(frames));
    return 0;
}

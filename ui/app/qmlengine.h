#pragma once

class QQmlApplicationEngine;
class QQmlEngine;

// The QML engine as the app sets it up, for the app and the benchmarks that load its views:
// the modules' import path and the icon provider.
void setUpQmlEngine(QQmlEngine &engine);

// Sets the engine up and loads the main window into it. Without a file selector afterwards.
void loadAppWindow(QQmlApplicationEngine &engine);

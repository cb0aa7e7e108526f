#pragma once

#include <QString>

class Paths
{
public:
    // "Tovra AI" inside the per-user application data folder (Application Support
    // on macOS, XDG_DATA_HOME elsewhere). Created on demand.
    static QString appDataDirectory();
    // "models" inside the application data folder, where downloaded model files live.
    static QString modelsDirectory();
    // "Tovra AI" inside the per-user configuration folder (XDG_CONFIG_HOME on Linux; on macOS
    // the application data folder, where such apps keep their files). Created on demand.
    static QString appConfigDirectory();
};

#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The main window's tabs, in the order of the tab selector.
namespace AppTab {
Q_NAMESPACE
QML_ELEMENT

enum Tab {
    Chat,     /**< "Chat", the conversation. */
    Models,   /**< "Models", the model library. */
    Settings, /**< "Settings", the settings screen. */
};
Q_ENUM_NS(Tab)
} // namespace AppTab

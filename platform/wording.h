#pragma once

#include <QString>

// The one place that decides how the product names its platform. On macOS a text
// stays as written; elsewhere "macOS" reads "desktop" and "Mac" reads "computer"
// ("Launch a macOS application." -> "Launch a desktop application.").
QString platformWording(const QString &macText);

#pragma once

#include <QString>

// The one place that decides how the product names its platform. On macOS a text
// stays as written; elsewhere "macOS" reads "desktop" and "Mac" reads "computer"
// ("Launch a macOS application." -> "Launch a desktop application.").
QString platformWording(const QString &macText);
// The same for a given platform, so that both forms can be checked on either.
QString platformWording(const QString &macText, bool isMac);

// "macOS" on macOS, "Linux" on Linux, otherwise the kernel's name: what the product
// tells servers it runs on.
QString platformName();

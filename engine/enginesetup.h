#pragma once

#include "engine/brewinstallstate.h"

#include <QObject>

// What this computer's engine setup comes to, as Settings and onboarding both show it:
// one rule, read from the same facts by both.
// A class only to carry the enum to QML; never made.
class EngineSetup : public QObject
{
    Q_OBJECT

public:
    enum class Block {
        Uninstalling,
        HomebrewReady,   // installed by the Homebrew found: it can be removed here
        Ready,           // installed some other way: shown with its path only
        HomebrewMissing, // the installer's command for the user's terminal
        Install,
        Installing,
        Installed, // Homebrew succeeded, yet no engine is found yet
        InstallFailed,
    };
    Q_ENUM(Block)

    struct Facts
    {
        bool isUninstalling = false;
        bool engineInstalled = false;
        bool engineFromHomebrew = false;
        bool brewInstalled = false;
        BrewInstallState::Kind brew = BrewInstallState::Kind::Idle;
    };

    static Block blockFor(const Facts &facts);

    EngineSetup() = delete;
};

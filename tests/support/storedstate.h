#pragma once

#include "platform/paths.h"
#include "platform/preferencekeys.h"
#include "platform/preferences.h"

#include <QDir>

// Forgets everything the app stores (every preference and the data folder), so
// that each test starts as a first launch.
inline void clearStoredState()
{
    using namespace PreferenceKey;
    for (const QString &key : {systemPrompt,
                               temperature,
                               maxTokens,
                               autoLoadModelPath,
                               autoLoadModelName,
                               chatSessions,
                               userName,
                               responseStyle,
                               onboardingComplete,
                               completionSoundEnabled,
                               firstReplyCelebrated})
        Preferences::remove(key);
    Preferences::sync();
    QDir(Paths::appDataDirectory()).removeRecursively();
}

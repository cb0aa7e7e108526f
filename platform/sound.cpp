#include "platform/sound.h"

#include "platform/preferencekeys.h"
#include "platform/preferences.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

bool Sound::completionSoundEnabled()
{
    const std::optional<QString> enabled
        = Preferences::string(PreferenceKey::completionSoundEnabled);
    return !(enabled && *enabled == QLatin1StringView("false"));
}

void Sound::setCompletionSoundEnabled(bool enabled)
{
    Preferences::setBoolean(PreferenceKey::completionSoundEnabled, enabled);
    Preferences::sync();
}

Sound::Command Sound::completionSound()
{
#if defined(Q_OS_MACOS)
    return {QStringLiteral("/usr/bin/afplay"), {QStringLiteral("/System/Library/Sounds/Tink.aiff")}};
#else
    const QString file = messageSoundFile();
    if (file.isEmpty())
        return {};
    // PulseAudio's and PipeWire's players read Ogg through libsndfile; ALSA's only WAV.
    QList<Command> players{{QStringLiteral("paplay"), {file}}, {QStringLiteral("pw-play"), {file}}};
    if (file.endsWith(QLatin1String(".wav")))
        players.append({QStringLiteral("aplay"), {QStringLiteral("-q"), file}});
    for (Command &player : players) {
        const QString path = QStandardPaths::findExecutable(player.program);
        if (!path.isEmpty()) {
            player.program = path;
            return player;
        }
    }
    return {};
#endif
}

QString Sound::messageSoundFile()
{
    // The freedesktop theme is every desktop's fallback theme; XDG_DATA_HOME comes first.
    static const QStringList names{QStringLiteral("message.oga"),
                                   QStringLiteral("message.ogg"),
                                   QStringLiteral("message.wav"),
                                   QStringLiteral("message-new-instant.oga"),
                                   QStringLiteral("message-new-instant.ogg"),
                                   QStringLiteral("message-new-instant.wav")};
    const QStringList dataDirs
        = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &name : names) {
        for (const QString &dir : dataDirs) {
            const QFileInfo candidate(dir + QStringLiteral("/sounds/freedesktop/stereo/") + name);
            if (candidate.isFile() && candidate.isReadable())
                return candidate.absoluteFilePath();
        }
    }
    return {};
}

bool Sound::play(const Command &command)
{
    if (command.isEmpty())
        return false;
    // Detached: the sound plays on its own and leaves no child to reap.
    return QProcess::startDetached(command.program, command.arguments);
}

#pragma once

#include <QString>
#include <QStringList>

// Short system sounds, played by the system's own command-line player so that
// nothing waits for them and no audio library is linked.
class Sound
{
public:
    // A player and its arguments; an empty program means there is nothing to play with.
    struct Command
    {
        QString program;
        QStringList arguments;

        bool isEmpty() const { return program.isEmpty(); }
        friend bool operator==(const Command &, const Command &) = default;
    };

    // The sound that marks a finished reply. On macOS the system sound "Tink"
    // through afplay; on Linux the desktop's message sound from an installed
    // sound theme through the first packaged player found on PATH (paplay,
    // pw-play, or aplay for a WAV file); empty when either is missing.
    static Command completionSound();

    // On Linux: the message sound of the installed sound themes, or an empty text.
    static QString messageSoundFile();

    // The preference "completionSoundEnabled": on when absent; only the Boolean false
    // switches it off (the store on Linux keeps it as the text "false").
    static bool completionSoundEnabled();
    static void setCompletionSoundEnabled(bool enabled);

    // Starts the command detached and returns at once; false when it could not start.
    static bool play(const Command &command);
};

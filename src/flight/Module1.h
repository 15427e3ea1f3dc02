#pragma once

#include <QString>
#include <QStringList>

// The program's sound layer: the command strings of the sound switch
// ("open <file> alias MIDIFILE", "play MIDIFILE notify", "close MIDIFILE").
// This layer keeps the device state the commands describe; audible playback
// is added with the flight window and the sound switch.
class Module1
{
public:
    // Sends one command; the result is not examined by any caller, so none is given.
    void mciSendString(const QString& command);

    // The alias of the open device, or empty when none is open.
    QString openAlias() const { return m_alias; }
    bool isPlaying() const { return m_playing; }
    // Every command sent in this run, in order (for tests).
    const QStringList& commands() const { return m_commands; }

private:
    QString m_alias;
    QString m_file;
    bool m_playing = false;
    QStringList m_commands;
};

#pragma once

#include "flight/AudioOutput.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The program's sound layer. Two ways of playing wave sounds share one
// audio output:
//  - device command strings, as the main window's sound switch sends them
//    ("open "<file>" alias MIDIFILE", "play MIDIFILE notify", "close MIDIFILE");
//  - PlaySoundFile, the general wave player (by file name or from memory,
//    once or looping, in the background or waiting for the end).
// Nothing here shows a message or throws: commands fail silently, the
// wave player answers with its result code.
class Module1
{
public:
    // Flags of the wave player; PlaySoundFile combines them as its options ask.
    enum SoundFlag : quint32 {
        SND_ASYNC = 0x0001,
        SND_NODEFAULT = 0x0002,
        SND_MEMORY = 0x0004,
        SND_LOOP = 0x0008,
        SND_NOSTOP = 0x0010,
        SND_PURGE = 0x0040,
        SND_NOWAIT = 0x2000,
        SND_FILENAME = 0x20000,
    };

    // The largest file played from memory: 2 MiB.
    static constexpr qint64 kMaxMemorySound = 2097152;

    // Plays through the system's sound device (silently when there is none).
    Module1();
    // Plays through the given output (tests choose SDL's disk driver).
    explicit Module1(const AudioOutput::Options& output);
    ~Module1();
    Module1(const Module1&) = delete;
    Module1& operator=(const Module1&) = delete;

    // Sends one command; the result is not examined by any caller, so none is given.
    void mciSendString(const QString& command);
    // The sound switch's commands, spelt here only. Opens `file` as the
    // device MIDIFILE and plays it once in the background.
    void playSwitchSound(const QString& file);
    // Stops the sound switch's sound and closes its device.
    void closeSwitchSound();

    // Plays a wave file. Result: 0 started (or, when synchronous, played
    // through); 1 from memory and the file is over 2 MiB; 2 synchronous and
    // loop both asked for; 3 the file could not be read (missing, empty);
    // 4 the player refused (no such sound, not a wave file, or a sound of
    // this player still playing). stopFirst first stops every sound of this
    // player, whatever follows.
    int PlaySoundFile(const QString& name, qint16 synchronous, qint16 loop, qint16 fromMemory,
                      qint16 stopFirst);

    // The alias of the open device, or empty when none is open.
    QString openAlias() const;
    // True while a sound opened by command is sounding.
    bool isPlaying() const;
    // Every command sent in this run, in order (for tests).
    const QStringList& commands() const { return m_commands; }
    // The bytes of the last file read for playing from memory.
    const QByteArray& soundBuffer() const { return SoundBuffer; }
    // True while the wave player's sound is sounding.
    bool isSoundPlaying() const;
    AudioOutput& output() { return *m_output; }

private:
    struct Device
    {
        QString alias;
        int voice = 0;
        qint64 durationMs = 0;
    };

    // The wave player proper: plays a file (SND_FILENAME) or the wave image
    // in memory (SND_MEMORY) as the flags ask; false when nothing plays.
    bool playSound(const QString& name, const QByteArray& memory, quint32 flags);

    void mciOpen(const QStringList& words);
    void mciPlay(const QStringList& words);
    void mciStop(const QStringList& words);
    void mciClose(const QStringList& words);
    Device* findDevice(const QString& alias);

    std::unique_ptr<AudioOutput> m_output;
    std::vector<Device> m_devices; // open devices, oldest first
    int m_soundVoice = 0;          // the wave player's voice, 0 when none
    QByteArray SoundBuffer;
    QStringList m_commands;
};

#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct _SDL_AudioStream;

// The program's audio output over SDL2: one output device shared by any
// number of voices (the sound switch's sound and the wave player's sound),
// mixed together in SDL's audio thread.
//
// The device is opened when a voice starts and closed again once nothing
// plays. With no driver chosen it opens the system's real device and, when
// none opens (no sound card), falls back at once to SDL's silent `dummy`
// driver, so playing never fails for want of hardware. Tests choose the
// `disk` driver and a file to receive the mixed samples.
class AudioOutput
{
public:
    struct Options
    {
        // SDL audio driver to use ("disk", "dummy", ...); empty for the
        // system's own device with the silent fallback.
        QString driver;
        // With the "disk" driver: the file that receives the raw samples.
        QString diskFile;
    };

    // A decoded wave sound in its own sample format. Voices share it, so a
    // sound keeps its samples alive while it plays, whatever its caller
    // does with the bytes it was decoded from.
    struct Clip
    {
        QByteArray pcm;
        quint16 format = 0; // SDL_AudioFormat
        int channels = 0;
        int rate = 0;
        int frameBytes() const;
        // Length of the whole sound in milliseconds.
        qint64 durationMs() const;
    };

    // The mixing format of the device.
    static constexpr int kMixRate = 44100;
    static constexpr int kMixChannels = 2;

    explicit AudioOutput(Options options = {});
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Decodes the bytes of a wave file; null for anything that is not a
    // playable wave file (empty, truncated, unknown encoding).
    static std::shared_ptr<const Clip> decode(const QByteArray& waveFile);

    // Adds a stopped voice positioned at the start of the clip; returns its id.
    int addVoice(std::shared_ptr<const Clip> clip);
    // Removes a voice, silencing it at once. Unknown ids are ignored.
    void removeVoice(int id);
    // Plays a voice from its current position, once to the end or, with
    // loop, over and over. Returns false only when no output device opens.
    bool play(int id, bool loop);
    // Halts a voice where it is; play() continues from there.
    void pause(int id);
    // True while the voice is sounding (not halted, not at its end).
    bool isPlaying(int id) const;
    // Waits until the voice has finished or timeoutMs has passed; returns
    // true when it finished.
    bool waitUntilDone(int id, qint64 timeoutMs);
    // Closes the device when no voice is sounding.
    void releaseIfIdle();

    // The SDL driver in use while the device is open ("dummy" after a
    // fallback), else empty.
    QString driverInUse() const { return m_driverInUse; }
    bool isDeviceOpen() const { return m_device != 0; }

private:
    struct Voice
    {
        std::shared_ptr<const Clip> clip;
        _SDL_AudioStream* stream = nullptr; // converts the clip to the mix format
        qsizetype pos = 0;                  // next byte of clip->pcm to convert
        bool loop = false;
        bool playing = false;
        bool flushed = false;
    };

    static void fillCallback(void* userdata, quint8* stream, int len);
    void mix(quint8* stream, int len);
    bool mixVoice(Voice& voice, quint8* out, int len);
    bool openDevice();
    bool startSubsystem(const QString& driver);
    void stopSubsystem();
    void closeDevice();

    Options m_options;
    mutable std::mutex m_mutex; // guards m_voices and m_scratch against the audio thread
    std::condition_variable m_voiceDone;
    std::map<int, Voice> m_voices;
    std::vector<quint8> m_scratch;
    int m_nextId = 1;
    quint32 m_device = 0;
    bool m_subsystemUp = false;
    QString m_driverInUse;
};

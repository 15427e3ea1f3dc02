#include "flight/AudioOutput.h"

#include <QFile>

#include <SDL.h>

#include <algorithm>
#include <climits>

namespace {

constexpr SDL_AudioFormat MixFormat = AUDIO_S16SYS;
constexpr int DeviceSamples = 1024; // about 23 ms per callback at 44.1 kHz
constexpr int PutChunk = 4096;      // bytes of a clip converted at a time

} // namespace

int AudioOutput::Clip::frameBytes() const
{
    return int(SDL_AUDIO_BITSIZE(format) / 8) * channels;
}

qint64 AudioOutput::Clip::durationMs() const
{
    const qint64 bytesPerSecond = qint64(rate) * frameBytes();
    return bytesPerSecond > 0 ? pcm.size() * 1000 / bytesPerSecond : 0;
}

AudioOutput::AudioOutput(Options options) : m_options(std::move(options)) {}

AudioOutput::~AudioOutput()
{
    closeDevice();
    for (auto& [id, voice] : m_voices)
        SDL_FreeAudioStream(voice.stream);
    m_voices.clear();
    stopSubsystem();
}

std::shared_ptr<const AudioOutput::Clip> AudioOutput::decode(const QByteArray& waveFile)
{
    if (waveFile.isEmpty() || waveFile.size() > INT_MAX)
        return {};
    SDL_RWops* rw = SDL_RWFromConstMem(waveFile.constData(), int(waveFile.size()));
    if (!rw)
        return {};
    SDL_AudioSpec wavFormat{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    // Frees rw whatever the outcome.
    if (!SDL_LoadWAV_RW(rw, 1, &wavFormat, &buffer, &length))
        return {};
    auto clip = std::make_shared<Clip>();
    clip->format = wavFormat.format;
    clip->channels = wavFormat.channels;
    clip->rate = wavFormat.freq;
    const int frame = clip->frameBytes();
    if (frame > 0 && clip->rate > 0)
        length -= length % Uint32(frame); // whole frames only
    if (frame <= 0 || clip->rate <= 0 || length == 0) {
        SDL_FreeWAV(buffer);
        return {};
    }
    clip->pcm = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(length));
    SDL_FreeWAV(buffer);
    return clip;
}

int AudioOutput::addVoice(std::shared_ptr<const Clip> clip)
{
    if (!clip || clip->pcm.isEmpty())
        return 0;
    SDL_AudioStream* stream =
        SDL_NewAudioStream(SDL_AudioFormat(clip->format), Uint8(clip->channels), clip->rate,
                           MixFormat, Uint8(MixChannels), MixRate);
    if (!stream)
        return 0;
    std::lock_guard lock(m_mutex);
    const int id = m_nextId++;
    Voice& voice = m_voices[id];
    voice.clip = std::move(clip);
    voice.stream = stream;
    return id;
}

void AudioOutput::removeVoice(int id)
{
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_voices.find(id);
        if (it == m_voices.end())
            return;
        SDL_FreeAudioStream(it->second.stream);
        m_voices.erase(it);
        m_voiceDone.notify_all();
    }
    releaseIfIdle();
}

bool AudioOutput::play(int id, bool loop)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_voices.find(id) == m_voices.end())
            return false;
    }
    if (!openDevice())
        return false;
    {
        std::lock_guard lock(m_mutex);
        Voice& voice = m_voices[id];
        voice.loop = loop;
        voice.playing = true;
    }
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void AudioOutput::pause(int id)
{
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_voices.find(id);
        if (it == m_voices.end())
            return;
        it->second.playing = false;
        m_voiceDone.notify_all();
    }
    releaseIfIdle();
}

bool AudioOutput::isPlaying(int id) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_voices.find(id);
    return it != m_voices.end() && it->second.playing;
}

bool AudioOutput::waitUntilDone(int id, qint64 timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_voiceDone.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(timeoutMs, 0)),
                                [&] {
                                    const auto it = m_voices.find(id);
                                    return it == m_voices.end() || !it->second.playing;
                                });
}

void AudioOutput::releaseIfIdle()
{
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [id, voice] : m_voices) {
            if (voice.playing)
                return;
        }
    }
    closeDevice();
}

void AudioOutput::fillCallback(void* userdata, quint8* stream, int len)
{
    static_cast<AudioOutput*>(userdata)->mix(stream, len);
}

// Runs on SDL's audio thread.
void AudioOutput::mix(quint8* stream, int len)
{
    SDL_memset(stream, 0, size_t(len)); // signed 16-bit silence
    std::lock_guard lock(m_mutex);
    if (m_scratch.size() < size_t(len))
        m_scratch.resize(size_t(len));
    bool finished = false;
    for (auto& [id, voice] : m_voices) {
        if (voice.playing && !mixVoice(voice, stream, len)) {
            voice.playing = false;
            finished = true;
        }
    }
    if (finished)
        m_voiceDone.notify_all();
}

// Adds up to len bytes of the voice to out; false once the voice has ended.
bool AudioOutput::mixVoice(Voice& voice, quint8* out, int len)
{
    const QByteArray& pcm = voice.clip->pcm;
    const int frame = voice.clip->frameBytes();
    const int chunk = std::max(frame, PutChunk - PutChunk % frame);
    while (SDL_AudioStreamAvailable(voice.stream) < len) {
        if (voice.pos >= pcm.size()) {
            if (voice.loop) {
                voice.pos = 0;
                continue;
            }
            if (!voice.flushed) {
                SDL_AudioStreamFlush(voice.stream);
                voice.flushed = true;
            }
            break;
        }
        const int n = int(std::min<qsizetype>(chunk, pcm.size() - voice.pos));
        if (SDL_AudioStreamPut(voice.stream, pcm.constData() + voice.pos, n) != 0) {
            // The converter failed: end the voice rather than spin.
            voice.pos = pcm.size();
            voice.loop = false;
            continue;
        }
        voice.pos += n;
    }
    const int got = SDL_AudioStreamGet(voice.stream, m_scratch.data(), len);
    if (got > 0)
        SDL_MixAudioFormat(out, m_scratch.data(), MixFormat, Uint32(got), SDL_MIX_MAXVOLUME);
    return got == len || SDL_AudioStreamAvailable(voice.stream) > 0 || voice.pos < pcm.size();
}

bool AudioOutput::startSubsystem(const QString& driver)
{
    // The program handles its own signals; SDL must not install handlers.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Kestrova");
    const QByteArray name = driver.toUtf8();
    if (!driver.isEmpty())
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, name.constData(), SDL_HINT_OVERRIDE);
    const bool up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!driver.isEmpty())
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    m_subsystemUp = up;
    m_driverInUse = up ? QString::fromUtf8(SDL_GetCurrentAudioDriver()) : QString();
    return up;
}

void AudioOutput::stopSubsystem()
{
    if (!m_subsystemUp)
        return;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_subsystemUp = false;
    m_driverInUse.clear();
}

bool AudioOutput::openDevice()
{
    if (m_device)
        return true;
    const QString& forced = m_options.driver;
    const QString dummy = QStringLiteral("dummy");
    if (!m_subsystemUp && !startSubsystem(forced)) {
        if (!forced.isEmpty() || !startSubsystem(dummy))
            return false;
    }
    SDL_AudioSpec want{};
    want.freq = MixRate;
    want.format = MixFormat;
    want.channels = Uint8(MixChannels);
    want.samples = DeviceSamples;
    want.callback = &AudioOutput::fillCallback;
    want.userdata = this;
    // The disk driver takes the output file as its device name.
    const QByteArray diskFile = QFile::encodeName(m_options.diskFile);
    const bool toDisk = m_driverInUse == QLatin1String("disk") && !diskFile.isEmpty();
    m_device = SDL_OpenAudioDevice(toDisk ? diskFile.constData() : nullptr, 0, &want, nullptr, 0);
    if (!m_device && forced.isEmpty() && m_driverInUse != dummy) {
        // No usable sound device: go on in silence rather than fail.
        stopSubsystem();
        if (startSubsystem(dummy))
            m_device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    }
    return m_device != 0;
}

void AudioOutput::closeDevice()
{
    if (!m_device)
        return;
    // Joins the audio thread; m_mutex must not be held here.
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
}

#include "flight/AudioOutput.h"

#include <QFile>
#include <QLibrary>

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr SDL_AudioFormat kMixFormat = AUDIO_S16SYS;
constexpr int kDeviceSamples = 1024; // about 23 ms per callback at 44.1 kHz
constexpr int kPutChunk = 4096;      // bytes of a clip converted at a time

// The SDL functions the output uses. SDL is loaded when the first sound is
// decoded or played, not with the program: with its many dependencies it
// would add a good part to every start-up, and most runs play nothing.
struct SdlAudio
{
    decltype(&::SDL_SetHint) SetHint = nullptr;
    decltype(&::SDL_SetHintWithPriority) SetHintWithPriority = nullptr;
    decltype(&::SDL_ResetHint) ResetHint = nullptr;
    decltype(&::SDL_InitSubSystem) InitSubSystem = nullptr;
    decltype(&::SDL_QuitSubSystem) QuitSubSystem = nullptr;
    decltype(&::SDL_GetCurrentAudioDriver) GetCurrentAudioDriver = nullptr;
    decltype(&::SDL_OpenAudioDevice) OpenAudioDevice = nullptr;
    decltype(&::SDL_PauseAudioDevice) PauseAudioDevice = nullptr;
    decltype(&::SDL_CloseAudioDevice) CloseAudioDevice = nullptr;
    decltype(&::SDL_RWFromConstMem) RWFromConstMem = nullptr;
    decltype(&::SDL_LoadWAV_RW) LoadWAV_RW = nullptr;
    decltype(&::SDL_FreeWAV) FreeWAV = nullptr;
    decltype(&::SDL_NewAudioStream) NewAudioStream = nullptr;
    decltype(&::SDL_AudioStreamPut) AudioStreamPut = nullptr;
    decltype(&::SDL_AudioStreamGet) AudioStreamGet = nullptr;
    decltype(&::SDL_AudioStreamAvailable) AudioStreamAvailable = nullptr;
    decltype(&::SDL_AudioStreamFlush) AudioStreamFlush = nullptr;
    decltype(&::SDL_FreeAudioStream) FreeAudioStream = nullptr;
    decltype(&::SDL_MixAudioFormat) MixAudioFormat = nullptr;

    // The functions, loaded on the first call (from any thread); null when
    // the library or one of them is missing, and then no sound plays.
    static const SdlAudio* get()
    {
        static const SdlAudio* const loaded = load();
        return loaded;
    }

private:
    static const SdlAudio* load()
    {
#if defined(Q_OS_WIN)
        QLibrary library(QStringLiteral("SDL2"));
#else
        QLibrary library(QStringLiteral("SDL2-2.0"), 0);
#endif
        // The library stays loaded for the rest of the run.
        if (!library.load())
            return nullptr;
        static SdlAudio api;
        bool complete = true;
        auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                library.resolve(name));
            complete = complete && function != nullptr;
        };
        resolve(api.SetHint, "SDL_SetHint");
        resolve(api.SetHintWithPriority, "SDL_SetHintWithPriority");
        resolve(api.ResetHint, "SDL_ResetHint");
        resolve(api.InitSubSystem, "SDL_InitSubSystem");
        resolve(api.QuitSubSystem, "SDL_QuitSubSystem");
        resolve(api.GetCurrentAudioDriver, "SDL_GetCurrentAudioDriver");
        resolve(api.OpenAudioDevice, "SDL_OpenAudioDevice");
        resolve(api.PauseAudioDevice, "SDL_PauseAudioDevice");
        resolve(api.CloseAudioDevice, "SDL_CloseAudioDevice");
        resolve(api.RWFromConstMem, "SDL_RWFromConstMem");
        resolve(api.LoadWAV_RW, "SDL_LoadWAV_RW");
        resolve(api.FreeWAV, "SDL_FreeWAV");
        resolve(api.NewAudioStream, "SDL_NewAudioStream");
        resolve(api.AudioStreamPut, "SDL_AudioStreamPut");
        resolve(api.AudioStreamGet, "SDL_AudioStreamGet");
        resolve(api.AudioStreamAvailable, "SDL_AudioStreamAvailable");
        resolve(api.AudioStreamFlush, "SDL_AudioStreamFlush");
        resolve(api.FreeAudioStream, "SDL_FreeAudioStream");
        resolve(api.MixAudioFormat, "SDL_MixAudioFormat");
        return complete ? &api : nullptr;
    }
};

// For code that runs only once something was decoded or opened, so SDL is loaded.
const SdlAudio& sdl()
{
    return *SdlAudio::get();
}

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
        sdl().FreeAudioStream(voice.stream);
    m_voices.clear();
    stopSubsystem();
}

std::shared_ptr<const AudioOutput::Clip> AudioOutput::decode(const QByteArray& waveFile)
{
    if (waveFile.isEmpty() || waveFile.size() > INT_MAX || !SdlAudio::get())
        return {};
    SDL_RWops* rw = sdl().RWFromConstMem(waveFile.constData(), int(waveFile.size()));
    if (!rw)
        return {};
    SDL_AudioSpec wavFormat{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    // Frees rw whatever the outcome.
    if (!sdl().LoadWAV_RW(rw, 1, &wavFormat, &buffer, &length))
        return {};
    auto clip = std::make_shared<Clip>();
    clip->format = wavFormat.format;
    clip->channels = wavFormat.channels;
    clip->rate = wavFormat.freq;
    const int frame = clip->frameBytes();
    if (frame > 0 && clip->rate > 0)
        length -= length % Uint32(frame); // whole frames only
    if (frame <= 0 || clip->rate <= 0 || length == 0) {
        sdl().FreeWAV(buffer);
        return {};
    }
    clip->pcm = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(length));
    sdl().FreeWAV(buffer);
    return clip;
}

int AudioOutput::addVoice(std::shared_ptr<const Clip> clip)
{
    if (!clip || clip->pcm.isEmpty() || !SdlAudio::get())
        return 0;
    SDL_AudioStream* stream =
        sdl().NewAudioStream(SDL_AudioFormat(clip->format), Uint8(clip->channels), clip->rate,
                             kMixFormat, Uint8(kMixChannels), kMixRate);
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
        sdl().FreeAudioStream(it->second.stream);
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
    sdl().PauseAudioDevice(m_device, 0);
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
    std::memset(stream, 0, size_t(len)); // signed 16-bit silence
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
    const int chunk = std::max(frame, kPutChunk - kPutChunk % frame);
    while (sdl().AudioStreamAvailable(voice.stream) < len) {
        if (voice.pos >= pcm.size()) {
            if (voice.loop) {
                voice.pos = 0;
                continue;
            }
            if (!voice.flushed) {
                sdl().AudioStreamFlush(voice.stream);
                voice.flushed = true;
            }
            break;
        }
        const int n = int(std::min<qsizetype>(chunk, pcm.size() - voice.pos));
        if (sdl().AudioStreamPut(voice.stream, pcm.constData() + voice.pos, n) != 0) {
            // The converter failed: end the voice rather than spin.
            voice.pos = pcm.size();
            voice.loop = false;
            continue;
        }
        voice.pos += n;
    }
    const int got = sdl().AudioStreamGet(voice.stream, m_scratch.data(), len);
    if (got > 0)
        sdl().MixAudioFormat(out, m_scratch.data(), kMixFormat, Uint32(got), SDL_MIX_MAXVOLUME);
    return got == len || sdl().AudioStreamAvailable(voice.stream) > 0 || voice.pos < pcm.size();
}

bool AudioOutput::startSubsystem(const QString& driver)
{
    // The program handles its own signals; SDL must not install handlers.
    sdl().SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl().SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Kestrova");
    const QByteArray name = driver.toUtf8();
    if (!driver.isEmpty())
        sdl().SetHintWithPriority(SDL_HINT_AUDIODRIVER, name.constData(), SDL_HINT_OVERRIDE);
    const bool up = sdl().InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!driver.isEmpty())
        sdl().ResetHint(SDL_HINT_AUDIODRIVER);
    m_subsystemUp = up;
    m_driverInUse = up ? QString::fromUtf8(sdl().GetCurrentAudioDriver()) : QString();
    return up;
}

void AudioOutput::stopSubsystem()
{
    if (!m_subsystemUp)
        return;
    sdl().QuitSubSystem(SDL_INIT_AUDIO);
    m_subsystemUp = false;
    m_driverInUse.clear();
}

bool AudioOutput::openDevice()
{
    if (m_device)
        return true;
    if (!SdlAudio::get())
        return false;
    const QString& forced = m_options.driver;
    const QString dummy = QStringLiteral("dummy");
    if (!m_subsystemUp && !startSubsystem(forced)) {
        if (!forced.isEmpty() || !startSubsystem(dummy))
            return false;
    }
    SDL_AudioSpec want{};
    want.freq = kMixRate;
    want.format = kMixFormat;
    want.channels = Uint8(kMixChannels);
    want.samples = kDeviceSamples;
    want.callback = &AudioOutput::fillCallback;
    want.userdata = this;
    // The disk driver takes the output file as its device name.
    const QByteArray diskFile = QFile::encodeName(m_options.diskFile);
    const bool toDisk = m_driverInUse == QLatin1String("disk") && !diskFile.isEmpty();
    m_device = sdl().OpenAudioDevice(toDisk ? diskFile.constData() : nullptr, 0, &want, nullptr, 0);
    if (!m_device && forced.isEmpty() && m_driverInUse != dummy) {
        // No usable sound device: go on in silence rather than fail.
        stopSubsystem();
        if (startSubsystem(dummy))
            m_device = sdl().OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    }
    return m_device != 0;
}

void AudioOutput::closeDevice()
{
    if (!m_device)
        return;
    // Joins the audio thread; m_mutex must not be held here.
    sdl().CloseAudioDevice(m_device);
    m_device = 0;
}

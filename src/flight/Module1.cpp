#include "flight/Module1.h"

#include <QFile>

namespace {

// A file-name sound larger than this is not read at all (a wave file of
// this size holds about 25 minutes of CD-quality sound).
constexpr qint64 kMaxFileSound = 256LL * 1024 * 1024;
// A synchronous sound is waited for no longer than its own length plus this,
// so a stalled audio driver cannot hold the user interface.
constexpr qint64 kSyncMarginMs = 500;

// A command's words: separated by any run of blanks. A word in double quotes
// (a file name with blanks) runs to the last quote that ends a word, one
// followed by a blank or the end of the command: a name may hold quotes and
// blanks of its own (Linux allows both in a folder's name).
QStringList commandWords(const QString& command)
{
    QStringList words;
    qsizetype i = 0;
    const qsizetype n = command.size();
    while (i < n) {
        if (command[i].isSpace()) {
            ++i;
        } else if (command[i] == u'"') {
            qsizetype end = n - 1;
            while (end > i &&
                   !(command[end] == u'"' && (end + 1 == n || command[end + 1].isSpace())))
                --end;
            if (end == i)
                end = n; // no closing quote: the rest
            words.append(command.mid(i + 1, end - i - 1));
            i = end + 1;
        } else {
            qsizetype end = i;
            while (end < n && !command[end].isSpace())
                ++end;
            words.append(command.mid(i, end - i));
            i = end;
        }
    }
    return words;
}

QByteArray readWaveFile(const QString& path)
{
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSound)
        return {};
    return file.read(kMaxFileSound);
}

} // namespace

Module1::Module1() : Module1(AudioOutput::Options{}) {}

Module1::Module1(const AudioOutput::Options& output)
    : m_output(std::make_unique<AudioOutput>(output))
{}

Module1::~Module1() = default;

// ---- device commands ------------------------------------------------------

void Module1::playSwitchSound(const QString& file)
{
    // Quoted, as the system's own device commands take a name with blanks
    // (the usual install folder has one).
    mciSendString(QStringLiteral("open \"") + file + QStringLiteral("\" alias MIDIFILE"));
    mciSendString(QStringLiteral("play MIDIFILE notify"));
}

void Module1::closeSwitchSound()
{
    mciSendString(QStringLiteral("close MIDIFILE"));
}

void Module1::mciSendString(const QString& command)
{
    m_commands.append(command);
    m_output->releaseIfIdle();
    // Verbs, keywords and aliases are case-insensitive. A command not
    // understood does nothing.
    const QStringList words = commandWords(command);
    if (words.isEmpty())
        return;
    const QString verb = words.first().toLower();
    if (verb == QLatin1String("open"))
        mciOpen(words);
    else if (verb == QLatin1String("play") || verb == QLatin1String("resume"))
        mciPlay(words);
    else if (verb == QLatin1String("stop") || verb == QLatin1String("pause"))
        mciStop(words);
    else if (verb == QLatin1String("close"))
        mciClose(words);
}

Module1::Device* Module1::findDevice(const QString& alias)
{
    for (Device& device : m_devices) {
        if (device.alias.compare(alias, Qt::CaseInsensitive) == 0)
            return &device;
    }
    return nullptr;
}

// open <file> [alias <name>] [type <device type>] [shareable] [wait] [notify]
// The file name is the second word: a path with blanks goes in double
// quotes; unquoted, it leaves words that are no keyword, and the open fails.
void Module1::mciOpen(const QStringList& words)
{
    if (words.size() < 2)
        return;
    const QString& file = words[1];
    QString alias = file;
    for (qsizetype i = 2; i < words.size(); ++i) {
        const QString keyword = words[i].toLower();
        if ((keyword == QLatin1String("alias") || keyword == QLatin1String("type")) &&
            i + 1 < words.size()) {
            if (keyword == QLatin1String("alias"))
                alias = words[i + 1];
            ++i;
        } else if (keyword != QLatin1String("shareable") && keyword != QLatin1String("wait") &&
                   keyword != QLatin1String("notify")) {
            return;
        }
    }
    if (alias.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0 || findDevice(alias))
        return; // the name is taken
    const auto clip = AudioOutput::decode(readWaveFile(file));
    const int voice = m_output->addVoice(clip);
    if (voice == 0)
        return; // missing file, or not a wave file
    m_devices.push_back({alias, voice, clip->durationMs()});
}

// play <alias> [notify] [wait]: from the current position to the end. The
// notification has nowhere to go; "wait" returns once the sound has ended.
void Module1::mciPlay(const QStringList& words)
{
    if (words.size() < 2)
        return;
    bool wait = false;
    for (qsizetype i = 2; i < words.size(); ++i) {
        const QString flag = words[i].toLower();
        if (flag == QLatin1String("wait"))
            wait = true;
        else if (flag != QLatin1String("notify"))
            return;
    }
    const Device* device = findDevice(words[1]);
    if (!device || !m_output->play(device->voice, false))
        return;
    if (wait)
        m_output->waitUntilDone(device->voice, device->durationMs + kSyncMarginMs);
}

// stop|pause <alias>: halts the sound where it is; play continues from there.
void Module1::mciStop(const QStringList& words)
{
    if (words.size() != 2)
        return;
    if (const Device* device = findDevice(words[1]))
        m_output->pause(device->voice);
}

// close <alias> | close all: stops the sound and releases the device and alias.
void Module1::mciClose(const QStringList& words)
{
    if (words.size() < 2)
        return;
    const bool all = words[1].compare(QLatin1String("all"), Qt::CaseInsensitive) == 0;
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        if (all || it->alias.compare(words[1], Qt::CaseInsensitive) == 0) {
            m_output->removeVoice(it->voice);
            it = m_devices.erase(it);
        } else {
            ++it;
        }
    }
}

QString Module1::openAlias() const
{
    return m_devices.empty() ? QString() : m_devices.back().alias;
}

bool Module1::isPlaying() const
{
    for (const Device& device : m_devices) {
        if (m_output->isPlaying(device.voice))
            return true;
    }
    return false;
}

// ---- wave player ----------------------------------------------------------

int Module1::PlaySoundFile(const QString& name, qint16 synchronous, qint16 loop, qint16 fromMemory,
                           qint16 stopFirst)
{
    m_output->releaseIfIdle();
    if (stopFirst)
        playSound(QString(), QByteArray(), SND_PURGE);
    if (synchronous && loop)
        return 2;

    quint32 flags = 0;
    if (fromMemory) {
        // The file is closed on every way out (QFile closes it when it goes),
        // so a failed read never blocks later calls.
        QFile file(name);
        if (name.isEmpty() || !file.open(QIODevice::ReadOnly))
            return 3;
        const qint64 n = file.size();
        if (n > kMaxMemorySound)
            return 1;
        if (n <= 0)
            return 3; // an empty file cannot be played from memory
        QByteArray bytes = file.read(n);
        if (bytes.size() != n)
            return 3;
        // A sound still playing keeps its own decoded copy, so replacing
        // the buffer here never pulls the samples from under it.
        SoundBuffer = std::move(bytes);
        flags = SND_NOWAIT | SND_NOSTOP | SND_MEMORY | SND_NODEFAULT;
    } else {
        flags = SND_FILENAME | SND_NOWAIT | SND_NOSTOP | SND_NODEFAULT;
    }
    if (!synchronous)
        flags |= SND_ASYNC;
    if (loop)
        flags |= SND_LOOP;
    const bool played = (flags & SND_MEMORY) ? playSound(QString(), SoundBuffer, flags)
                                             : playSound(name, QByteArray(), flags);
    return played ? 0 : 4;
}

bool Module1::playSound(const QString& name, const QByteArray& memory, quint32 flags)
{
    if (m_soundVoice && ((flags & SND_PURGE) || !m_output->isPlaying(m_soundVoice))) {
        m_output->removeVoice(m_soundVoice);
        m_soundVoice = 0;
    }
    if (flags & SND_PURGE)
        return true;
    if (m_soundVoice && (flags & SND_NOSTOP))
        return false; // give way to the sound already playing

    // There is no default sound to fall back on, with or without SND_NODEFAULT.
    const auto clip = AudioOutput::decode((flags & SND_MEMORY) ? memory : readWaveFile(name));
    if (!clip)
        return false;
    if (m_soundVoice) {
        // A new sound replaces the one playing.
        m_output->removeVoice(m_soundVoice);
        m_soundVoice = 0;
    }
    const int voice = m_output->addVoice(clip);
    if (voice == 0)
        return false;
    if (!m_output->play(voice, flags & SND_LOOP)) {
        m_output->removeVoice(voice);
        return false;
    }
    if (flags & SND_ASYNC) {
        m_soundVoice = voice;
        return true;
    }
    m_output->waitUntilDone(voice, clip->durationMs() + kSyncMarginMs);
    m_output->removeVoice(voice);
    return true;
}

bool Module1::isSoundPlaying() const
{
    return m_soundVoice != 0 && m_output->isPlaying(m_soundVoice);
}

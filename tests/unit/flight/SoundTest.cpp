#include "flight/Module1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A 16-bit mono wave file: a tone of the given length, or, with totalSize,
// padded (or cut) so that the whole file has exactly that many bytes.
QByteArray makeWave(int ms, qint64 totalSize = -1)
{
    const int rate = 22050;
    QByteArray data;
    for (int i = 0; i < rate * ms / 1000; ++i) {
        const qint16 s = qint16(8000 * std::sin(2 * M_PI * 440 * i / rate));
        data.append(reinterpret_cast<const char*>(&s), 2);
    }
    if (totalSize >= 0)
        data.resize(totalSize - 44, '\x10');
    auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    return "RIFF" + le32(quint32(36 + data.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
           le32(rate) + le32(rate * 2) + le16(2) + le16(16) + "data" + le32(quint32(data.size())) +
           data;
}

bool hasSound(const QString& rawFile)
{
    QFile f(rawFile);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return c != 0; });
}

// Waits until the disk driver has written half a second (16-bit samples):
// the device's first buffers may be silence, written before the sound
// reaches the mixer, so what was heard is read after that.
bool waitForHalfASecondOfOutput(const QString& rawFile)
{
    const qint64 halfSecond = qint64(AudioOutput::kMixRate) * AudioOutput::kMixChannels;
    return QTest::qWaitFor([&] { return QFileInfo(rawFile).size() > halfSecond; }, 30000);
}

class Sound : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir dir;
    // Every test hears through SDL's disk driver: no device is needed and
    // what was played can be read back.
    Module1 m{
        AudioOutput::Options{QStringLiteral("disk"), dir.filePath(QStringLiteral("out.raw"))}};
};

TEST_F(Sound, PlaySoundFileArgumentCodes)
{
    const QString tone = file("tone.wav", makeWave(2000));
    const QString empty = file("empty.wav", {});
    const QString junk = file("junk.wav", "this is not a wave file");
    const QString missing = dir.filePath("missing.wav");

    // Synchronous and loop together: 2, after the purge asked for has run.
    ASSERT_EQ(m.PlaySoundFile(tone, 0, 1, 0, 0), 0);
    EXPECT_TRUE(m.isSoundPlaying());
    EXPECT_EQ(m.PlaySoundFile(tone, 1, 1, 0, -1), 2);
    EXPECT_FALSE(m.isSoundPlaying());
    EXPECT_EQ(m.PlaySoundFile(tone, 1, 1, 1, 0), 2);

    // The flight window's unload call: purge, then nothing to play.
    EXPECT_EQ(m.PlaySoundFile(QString(), 0, 0, 0, -1), 4);
    EXPECT_EQ(m.PlaySoundFile(missing, 0, 0, 0, -1), 4);
    EXPECT_EQ(m.PlaySoundFile(junk, 0, 0, 0, -1), 4);
    EXPECT_EQ(m.PlaySoundFile(junk, 0, 0, 1, -1), 4);

    // From memory, a file that cannot be read is a run-time error.
    EXPECT_EQ(m.PlaySoundFile(missing, 0, 0, 1, -1), 3);
    EXPECT_EQ(m.PlaySoundFile(QString(), 0, 0, 1, -1), 3);
    EXPECT_EQ(m.PlaySoundFile(empty, 0, 0, 1, -1), 3);
    // ... and the failed read leaves nothing open that blocks the next call.
    EXPECT_EQ(m.PlaySoundFile(empty, 0, 0, 1, -1), 3);
    EXPECT_EQ(m.PlaySoundFile(tone, 0, 0, 1, -1), 0);
    EXPECT_EQ(m.soundBuffer(), makeWave(2000));
    EXPECT_FALSE(m.isPlaying()); // the command device is a different sound
}

TEST_F(Sound, MemorySoundsUpToTwoMebibytes)
{
    const QString exact = file("exact.wav", makeWave(0, 2097152));
    const QString over = file("over.wav", makeWave(0, 2097153));
    EXPECT_EQ(m.PlaySoundFile(over, 0, 0, 1, -1), 1);
    EXPECT_TRUE(m.soundBuffer().isEmpty());
    EXPECT_EQ(m.PlaySoundFile(exact, 0, 0, 1, -1), 0);
    EXPECT_EQ(m.soundBuffer().size(), 2097152);
    EXPECT_EQ(m.PlaySoundFile(over, 0, 0, 1, -1), 1);
    EXPECT_EQ(m.soundBuffer().size(), 2097152);
    // Not from memory the size does not matter.
    EXPECT_EQ(m.PlaySoundFile(over, 0, 0, 0, -1), 0);
}

TEST_F(Sound, PlayingSoundGivesWayAndOutlivesItsBuffer)
{
    const QString a = file("a.wav", makeWave(3000));
    const QString b = file("b.wav", makeWave(500));
    ASSERT_EQ(m.PlaySoundFile(a, 0, 1, 1, 0), 0);
    // Without stopFirst the new sound gives way to the one playing; the
    // buffer is replaced all the same, and the playing sound keeps its samples.
    EXPECT_EQ(m.PlaySoundFile(b, 0, 0, 1, 0), 4);
    EXPECT_EQ(m.soundBuffer(), makeWave(500));
    EXPECT_TRUE(m.isSoundPlaying());
    // What was heard is read once the purge has closed the device: on
    // Windows SDL's disk driver holds its file open without sharing.
    const QString raw = dir.filePath("out.raw");
    EXPECT_TRUE(waitForHalfASecondOfOutput(raw));
    EXPECT_EQ(m.PlaySoundFile(QString(), 0, 0, 0, -1), 4);
    EXPECT_TRUE(hasSound(raw));
    // With stopFirst it replaces it. Synchronous play returns at its end.
    ASSERT_EQ(m.PlaySoundFile(a, 0, 1, 1, 0), 0);
    EXPECT_EQ(m.PlaySoundFile(b, -1, 0, 1, -1), 0);
    EXPECT_FALSE(m.isSoundPlaying());
}

TEST_F(Sound, CommandSequence)
{
    const QString tone = file("Sound/1.wav", makeWave(3000));
    m.mciSendString("close MIDIFILE"); // nothing open: harmless
    m.mciSendString("play MIDIFILE notify");
    EXPECT_FALSE(m.isPlaying());

    m.mciSendString("open " + tone + " alias MIDIFILE");
    EXPECT_EQ(m.openAlias(), "MIDIFILE");
    EXPECT_FALSE(m.isPlaying());
    // The alias is taken: a second open fails and changes nothing.
    m.mciSendString("open " + tone + " alias midifile");
    m.mciSendString("play MIDIFILE notify");
    EXPECT_TRUE(m.isPlaying());
    m.mciSendString("close MIDIFILE");
    EXPECT_TRUE(m.openAlias().isEmpty());
    EXPECT_FALSE(m.isPlaying());
    m.mciSendString("play MIDIFILE notify");
    EXPECT_FALSE(m.isPlaying());

    // Verbs, keywords and alias in any case, with extra blanks; unknown commands do nothing.
    m.mciSendString("  OPEN   " + tone + "\tAlias  MidiFile ");
    m.mciSendString("fly MIDIFILE");
    m.mciSendString("play midifile   NOTIFY");
    EXPECT_TRUE(m.isPlaying());
    m.mciSendString("stop MIDIFILE");
    EXPECT_FALSE(m.isPlaying());
    m.mciSendString("CLOSE midifile");
    EXPECT_TRUE(m.openAlias().isEmpty());
    EXPECT_EQ(m.commands().size(), 12);
}

TEST_F(Sound, OpenFailsForUnquotedBlankPathsAndBadFiles)
{
    const QString blank = file("with blank/Sound/1.wav", makeWave(500));
    const QString junk = file("junk.wav", QByteArray(100, 'x'));
    for (const QString& path : {blank, junk, dir.filePath("missing.wav")}) {
        m.mciSendString("open " + path + " alias MIDIFILE");
        m.mciSendString("play MIDIFILE notify");
        EXPECT_TRUE(m.openAlias().isEmpty()) << path.toStdString();
        EXPECT_FALSE(m.isPlaying());
    }
}

TEST_F(Sound, TheSwitchSoundSoundsFromAnyFolderAndStopsOnClose)
{
#ifndef Q_OS_WIN // a name with quotes of its own (no Windows name holds one)
    m.playSwitchSound(file("a \"quoted\" name/1.wav", makeWave(500)));
    EXPECT_EQ(m.openAlias(), "MIDIFILE");
    m.closeSwitchSound();
#endif
    const QString raw = dir.filePath("out.raw");
    m.playSwitchSound(file("Program Files/Kestrova ★/Sound/1.wav", makeWave(3000)));
    EXPECT_EQ(m.output().driverInUse(), "disk");
    // Read once closed: on Windows SDL holds its file open without sharing.
    EXPECT_TRUE(waitForHalfASecondOfOutput(raw));
    m.mciSendString("close MIDIFILE");
    EXPECT_FALSE(m.output().isDeviceOpen());
    EXPECT_TRUE(hasSound(raw));
    const qint64 size = QFileInfo(raw).size();
    QTest::qWait(150);
    EXPECT_EQ(QFileInfo(raw).size(), size);
}

TEST(SoundOutput, SystemDeviceOrSilentFallback)
{
    // No sound card on build machines: the output falls back to silence, but plays.
    QTemporaryDir dir;
    const QString path = dir.filePath("1.wav");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(makeWave(300));
    f.close();
    {
        Module1 m;
        EXPECT_EQ(m.PlaySoundFile(path, -1, 0, 0, -1), 0);
        EXPECT_FALSE(m.output().driverInUse().isEmpty());
    }

    // A driver that does not exist: nothing plays, nothing breaks.
    Module1 broken(AudioOutput::Options{QStringLiteral("no-such-driver"), QString()});
    EXPECT_EQ(broken.PlaySoundFile(path, 0, 0, 0, -1), 4);
    broken.mciSendString("open " + path + " alias MIDIFILE");
    broken.mciSendString("play MIDIFILE notify");
    EXPECT_FALSE(broken.isPlaying());
}

} // namespace

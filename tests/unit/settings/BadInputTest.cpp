// Hostile settings files: huge (100 MB), binary, endless lines. Nothing may
// crash or hang, memory stays linear in the size of the file, the work grows
// no faster than the file, and a write keeps every byte it does not change.
// The files are made in the temporary folder at test time and removed with it.
// No test here asserts a time: a quadratic walk over 100 MB would not end
// within the test's timeout, and growth is compared as a ratio of CPU times.
#include "SettingsTestSupport.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <ctime>
#include <functional>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kHuge = 100 * 1024 * 1024;

// Writes head, then copies of line up to about kHuge bytes, then tail.
void writeHuge(const QString& path, QByteArrayView head, QByteArrayView line, QByteArrayView tail)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(head.data(), head.size());
    QByteArray chunk;
    while (chunk.size() < 1024 * 1024)
        chunk.append(line);
    for (qsizetype written = 0; written < kHuge; written += chunk.size())
        ASSERT_EQ(file.write(chunk), chunk.size());
    file.write(tail.data(), tail.size());
}

// Peak resident memory of this process in KiB, reset before each measurement
// (Linux only; nullopt elsewhere).
void resetPeakMemory()
{
    QFile clear(u"/proc/self/clear_refs"_s);
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

std::optional<qint64> statusKb(QByteArrayView field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return std::nullopt;
}

// Runs work and checks that it took at most extraKb more memory than was
// resident before it.
void expectBounded(const std::function<void()>& work, qint64 extraKb)
{
    resetPeakMemory();
    const std::optional<qint64> before = statusKb("VmRSS:");
    work();
    const std::optional<qint64> peak = statusKb("VmHWM:");
    if (before && peak) {
        EXPECT_LE(*peak - *before, extraKb)
            << "peak memory grew by " << (*peak - *before) << " KiB";
    }
}

// CPU time of this thread: unlike the wall clock, it does not grow while
// other programs have the processor. On Windows it advances in steps of the
// scheduler's tick (10 to 16 ms), so one reading says little about work that
// takes less; callers measure many runs together.
qint64 threadCpuNs()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The CPU time of one run of work, from as many runs as it takes to add up
// to at least 200 ms: far above the clock's step everywhere.
qint64 costOfOneRun(const std::function<void()>& work)
{
    constexpr qint64 kEnoughNs = 200'000'000;
    const qint64 start = threadCpuNs();
    qint64 runs = 0;
    qint64 spent = 0;
    do {
        work();
        ++runs;
        spent = threadCpuNs() - start;
    } while (spent < kEnoughNs);
    return spent / runs;
}

// How much more work takes on input 4 times as large: prepare(n) makes the
// input of size n, work runs on it; the cheapest of three measurements
// counts, which leaves out the cost of being interrupted. Linear work gives
// about 4, quadratic work 16.
double growthOverFourTimesTheSize(qsizetype n, const std::function<void(qsizetype)>& prepare,
                                  const std::function<void()>& work)
{
    qint64 cost[2] = {};
    for (int i = 0; i < 2; ++i) {
        prepare(i == 0 ? n : 4 * n);
        cost[i] = std::numeric_limits<qint64>::max();
        for (int measurement = 0; measurement < 3; ++measurement)
            cost[i] = std::min(cost[i], costOfOneRun(work));
    }
    return double(cost[1]) / double(std::max<qint64>(cost[0], 1));
}

// Compares length bytes of two files in chunks, without holding either whole.
bool sameRange(const QString& a, qint64 offsetA, const QString& b, qint64 offsetB, qint64 length)
{
    QFile fa(a);
    QFile fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || !fa.seek(offsetA) ||
        !fb.seek(offsetB))
        return false;
    while (length > 0) {
        const qint64 step = std::min<qint64>(length, 4 << 20);
        const QByteArray ca = fa.read(step);
        if (ca.size() != step || ca != fb.read(step))
            return false;
        length -= step;
    }
    return true;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(random.bounded(256));
    return data;
}

constexpr qint64 kFileKb = kHuge / 1024;
constexpr qint64 kSlackKb = 64 * 1024;

class BadInput : public SettingsTest
{
protected:
    QString ini() const { return dataFile(u"ini.ini"_s); }
    int readInt(const QString& key) { return store().ReadProfileInt(u"ini.ini"_s, key); }
    QString readString(const QString& key) { return store().ReadProfileString(u"ini.ini"_s, key); }
};

TEST_F(BadInput, HugeProfileFileIsReadInLinearTimeAndMemory)
{
    writeHuge(ini(), "[OTHER]\r\n", "FILLER=some value that is not the one we want\r\n",
              "[EXEINI]\r\nNAME=found\r\nNUMBER=7\r\n");
    QString name;
    expectBounded([&] { name = readString(u"NAME"_s); }, kFileKb + kSlackKb);
    EXPECT_EQ(name, u"found");
    EXPECT_EQ(readInt(u"NUMBER"_s), 7);
}

TEST_F(BadInput, WritingIntoAHugeProfileFileKeepsEveryOtherByte)
{
    // The key to replace comes first; 100 MB of other keys of the section follow.
    const QByteArray head = "[EXEINI]\r\nNAME=old\r\n";
    writeHuge(ini(), head, "KEY=filler\r\n", "[LAST]\r\nX=1");
    const QString copy = m_root.path() + u"/copy.ini"_s;
    ASSERT_TRUE(QFile::copy(ini(), copy));

    expectBounded([&] { store().WriteProfileString(u"ini.ini"_s, u"NAME"_s, u"new"_s); },
                  kFileKb + kSlackKb);
    const qint64 size = QFileInfo(copy).size();
    EXPECT_EQ(QFileInfo(ini()).size(), size);
    QFile written(ini());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.read(head.size()), "[EXEINI]\r\nNAME=new\r\n");
    EXPECT_TRUE(sameRange(ini(), head.size(), copy, head.size(), size - head.size()));

    // A new key goes after the last of the 100 MB of key lines.
    ASSERT_TRUE(QFile::remove(copy) && QFile::copy(ini(), copy));
    store().WriteProfileString(u"ini.ini"_s, u"NAME2"_s, u"v"_s);
    const QByteArray tail = "[LAST]\r\nX=1";
    const qint64 end = size - tail.size();
    EXPECT_TRUE(sameRange(ini(), 0, copy, 0, end));
    QFile grown(ini());
    ASSERT_TRUE(grown.open(QIODevice::ReadOnly) && grown.seek(end));
    EXPECT_EQ(grown.readAll(), "NAME2=v\r\n" + tail);
    EXPECT_EQ(readString(u"NAME2"_s), u"v");
    EXPECT_EQ(entriesOf(dataFolder()), QStringList{u"ini.ini"_s});
}

TEST_F(BadInput, HugeLinesAreCutNotCopied)
{
    // One 100 MB value, one 100 MB number, and a key after them.
    {
        QFile file(ini());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[EXEINI]\r\nNAME=");
        file.write(QByteArray(kHuge, 'x'));
        file.write("\r\nNUMBER=");
        file.write(QByteArray(kHuge / 4, '9'));
        file.write("\r\nNAME2=after");
    }
    QString name;
    expectBounded([&] { name = readString(u"NAME"_s); }, 2 * kFileKb + kSlackKb);
    EXPECT_EQ(name, QString(255, u'x'));
    // 10^n - 1 wraps to -1 modulo 2^32 for every n >= 32.
    EXPECT_EQ(readInt(u"NUMBER"_s), -1);
    EXPECT_EQ(readString(u"NAME2"_s), u"after");
}

TEST_F(BadInput, PathologicalLinesStayLinear)
{
    // n bytes of '[' without a ']', then n bytes of bare line ends.
    const auto pathological = [this](qsizetype n) {
        QFile file(ini());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(n, '['));
        file.write("\r\n[EXEINI]\r\n");
        file.write(QByteArray(n, '\r'));
        file.write("NAME=end");
    };
    QString name;
    const double growth =
        growthOverFourTimesTheSize(128 << 10, pathological, [&] { name = readString(u"NAME"_s); });
    ASSERT_LT(growth, 8.0) << "reading grew faster than the file";
    EXPECT_EQ(name, u"end");

    pathological(kHuge);
    expectBounded([&] { name = readString(u"NAME"_s); }, 2 * kFileKb + kSlackKb);
    EXPECT_EQ(name, u"end");
}

TEST_F(BadInput, HugeOrvendaIsReadInLinearTimeAndMemory)
{
    writeHuge(orvendaPath(), "SMTP=first\r\n", "smtp=lower case lines are skipped\r\n",
              "POP3=last\r\nAPOP=1");
    SettingsValues v;
    expectBounded([&] { store().LoadServerSettings(v); }, kFileKb + kSlackKb);
    EXPECT_EQ(v.SmtpServer, u"first");
    EXPECT_EQ(v.Pop3Server, u"last");
    EXPECT_EQ(v.ApopFlag, 1);

    // A single 100 MB line gives its first 100 characters.
    {
        QFile file(orvendaPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("MAIL=");
        file.write(QByteArray(kHuge, 'm'));
        file.write("\nAPOP=");
        file.write(QByteArray(kHuge, '7'));
    }
    expectBounded([&] { store().LoadServerSettings(v); }, 2 * kFileKb + kSlackKb);
    EXPECT_EQ(v.MailAddress, QString(100, u'm'));
    EXPECT_EQ(v.ApopFlag, 32767);
}

TEST_F(BadInput, BinaryProfileFileReadsDefaultsAndKeepsItsBytesOnWrite)
{
    const QByteArray garbage = randomBytes(4 * 1024 * 1024, 932);
    ASSERT_FALSE(garbage.contains("EXEINI"));
    writeFile(ini(), garbage);
    EXPECT_EQ(readInt(u"NUMBER"_s), 0);
    EXPECT_EQ(readString(u"NAME"_s), u"");

    store().WriteProfileString(u"ini.ini"_s, u"NAME"_s, u"x"_s);
    const QByteArray after = readFile(ini());
    const bool endsLine = garbage.endsWith('\r') || garbage.endsWith('\n');
    EXPECT_EQ(after, garbage + (endsLine ? "" : "\r\n") + "[EXEINI]\r\nNAME=x\r\n");
    EXPECT_EQ(readString(u"NAME"_s), u"x");
}

TEST_F(BadInput, BinaryProfileValueDecodesWithoutHarm)
{
    // Every byte value after "NAME=", CR and LF left out so the line holds.
    QByteArray value;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            value.append(char(b));
    }
    writeFile(ini(), "[EXEINI]\r\nNAME=" + value + "\r\nNUMBER=\xFF\x81" + "\r\n");
    // 253 bytes: all come back, none swallowed.
    EXPECT_EQ(readString(u"NAME"_s), Cp932::decode(value));
    EXPECT_EQ(readInt(u"NUMBER"_s), 0);
}

TEST_F(BadInput, BinaryOrvendaChangesNothing)
{
    writeFile(orvendaPath(), randomBytes(4 * 1024 * 1024, 50));
    SettingsValues v;
    store().LoadServerSettings(v);
    EXPECT_EQ(v.SmtpServer, u"");
    EXPECT_EQ(v.Pop3Server, u"");
    EXPECT_EQ(v.MailAddress, u"");
    EXPECT_EQ(v.ApopFlag, 0);

    // Invalid Shift-JIS after a real key is decoded as Windows reads it, and
    // kept where Windows has no reading of its own.
    writeFile(orvendaPath(), "SMTP=\x81\r\nPOP3=\xFF\xFE\x81\x31\r\nAPOP=\x81");
    store().LoadServerSettings(v);
    EXPECT_EQ(v.SmtpServer, u"・");
    EXPECT_EQ(v.Pop3Server, u"\uF8F3\uF8F2\xDC81"
                            u"1");
    EXPECT_EQ(v.ApopFlag, 0);
}

} // namespace

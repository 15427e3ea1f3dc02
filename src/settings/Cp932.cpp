#include "settings/Cp932.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace Cp932 {

bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

QByteArray cutBytes(QByteArrayView bytes, qsizetype maxBytes)
{
    if (maxBytes <= 0)
        return {};
    if (bytes.size() <= maxBytes)
        return bytes.toByteArray();
    // Walk character by character: a trail byte can look like a lead byte, so
    // only a scan from the start knows where characters begin.
    qsizetype pos = 0;
    while (pos < maxBytes) {
        const qsizetype len = isLeadByte(static_cast<unsigned char>(bytes[pos])) ? 2 : 1;
        if (pos + len > maxBytes)
            break;
        pos += len;
    }
    return bytes.first(pos).toByteArray();
}

#ifdef _WIN32

QByteArray encode(const QString& text)
{
    if (text.isEmpty())
        return {};
    const auto* src = reinterpret_cast<const wchar_t*>(text.utf16());
    const int n = WideCharToMultiByte(932, 0, src, int(text.size()), nullptr, 0, "?", nullptr);
    QByteArray out(n, Qt::Uninitialized);
    WideCharToMultiByte(932, 0, src, int(text.size()), out.data(), n, "?", nullptr);
    return out;
}

QString decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    const int n = MultiByteToWideChar(932, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    QString out(n, Qt::Uninitialized);
    MultiByteToWideChar(932, 0, bytes.data(), int(bytes.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

#else

namespace {

// RAII holder for one conversion descriptor.
class Iconv
{
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // Converts as much as possible; returns the errno that stopped it, 0 at the end.
    int convert(const char*& in, size_t& inLeft, QByteArray& out)
    {
        char buf[1024];
        for (;;) {
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            auto* src = const_cast<char*>(in);
            const size_t r = iconv(m_cd, &src, &inLeft, &dst, &dstLeft);
            const int err = r == size_t(-1) ? errno : 0;
            in = src;
            out.append(buf, qsizetype(sizeof buf - dstLeft));
            if (err == E2BIG)
                continue;
            return err;
        }
    }
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

qsizetype utf8Length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

} // namespace

QByteArray encode(const QString& text)
{
    if (text.isEmpty())
        return {};
    const QByteArray utf8 = text.toUtf8();
    Iconv cd("CP932", "UTF-8");
    if (!cd.ok())
        return utf8; // no CP932 table installed: keep ASCII intact at least
    QByteArray out;
    out.reserve(utf8.size());
    const char* in = utf8.constData();
    size_t left = size_t(utf8.size());
    while (left > 0) {
        const int err = cd.convert(in, left, out);
        if (err == 0)
            break;
        // EILSEQ or EINVAL: this character has no CP932 form.
        out.append('?');
        const size_t skip = std::min(left, size_t(utf8Length(static_cast<unsigned char>(*in))));
        in += skip;
        left -= skip;
        cd.reset();
    }
    return out;
}

QString decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    Iconv cd("UTF-8", "CP932");
    if (!cd.ok())
        return QString::fromLatin1(bytes);
    QByteArray utf8;
    utf8.reserve(bytes.size() * 3 / 2);
    const char* in = bytes.data();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const int err = cd.convert(in, left, utf8);
        if (err == 0)
            break;
        // EILSEQ: an invalid byte; EINVAL: a lead byte cut off at the end.
        // Either way one replacement character stands for the bad byte.
        utf8.append("\xEF\xBF\xBD");
        ++in;
        --left;
        cd.reset();
    }
    return QString::fromUtf8(utf8);
}

#endif

} // namespace Cp932

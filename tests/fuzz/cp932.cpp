// The CP932 codec: decoding any bytes and encoding the text again gives the
// same bytes wherever Windows keeps them; saved bytes read and saved again stay
// as they are; the cuts stay on character boundaries within their limits.
#include "base/Cp932.h"
#include "FuzzInput.h"

namespace {

// Lead bytes of the rows whose characters have several forms (NEC and IBM
// extensions): Windows itself writes such a character back in its one form.
bool hasSeveralForms(unsigned char b)
{
    return b == 0x87 || b == 0xED || b == 0xEE || b >= 0xFA;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const qsizetype limit = in.byte();
    const QByteArrayView raw = in.rest();

    const QString text = Cp932::decode(raw);
    // Once saved, the bytes are a fixed point: saving the text read from them
    // again writes them unchanged. That holds for any text, also one a user
    // typed or cut (the same bytes taken as UTF-16 units).
    const QByteArray encoded = Cp932::encode(text);
    FUZZ_CHECK(Cp932::encode(Cp932::decode(encoded)) == encoded);
    const QString typed(reinterpret_cast<const QChar*>(raw.data()), raw.size() / 2);
    const QByteArray typedBytes = Cp932::encode(typed);
    FUZZ_CHECK(Cp932::encode(Cp932::decode(typedBytes)) == typedBytes);
    FUZZ_CHECK(text.size() <= raw.size());

    // The bytes themselves come back unless a character of several forms is
    // among them or a lead byte is cut off at the end.
    QByteArray kept;
    for (const char c : raw) {
        if (!hasSeveralForms(static_cast<unsigned char>(c)))
            kept.append(c);
    }
    kept.append('.');
    FUZZ_CHECK(Cp932::encode(Cp932::decode(kept)) == kept);

    const QByteArray cut = Cp932::cutBytes(raw, limit);
    FUZZ_CHECK(cut.size() <= limit && raw.startsWith(cut));
    // The next character (one or two bytes) would not have fitted.
    if (cut.size() < raw.size()) {
        const qsizetype next =
            Cp932::isLeadByte(static_cast<unsigned char>(raw[cut.size()])) ? 2 : 1;
        FUZZ_CHECK(cut.size() + next > limit);
    }

    const QString cutText = Cp932::cutText(text, limit);
    FUZZ_CHECK(text.startsWith(cutText));
    FUZZ_CHECK(Cp932::encode(cutText).size() <= limit);
    if (cutText.size() < text.size()) {
        // One more character (both halves of a surrogate pair) would not have fitted.
        qsizetype more = cutText.size() + 1;
        if (text[cutText.size()].isHighSurrogate() && more < text.size() &&
            text[more].isLowSurrogate())
            ++more;
        FUZZ_CHECK(Cp932::encode(QStringView(text).first(more)).size() > limit);
    }
    return 0;
}

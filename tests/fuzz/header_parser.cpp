// The header parser of a message query: whatever the bytes, however the
// stream is cut into pieces, the four buffers come out the same, each
// NUL-terminated inside its own size.
#include "FuzzInput.h"
#include "mail/MailHeaderParser.h"

#include <cstring>
#include <vector>

namespace {

struct Buffers
{
    std::vector<char> subject, date, from, header;
};

// Exact-size buffers, so a write past the end is caught by the address checker.
Buffers run(const uint8_t (&sizes)[4], QByteArrayView message, FuzzInput* cuts)
{
    Buffers b{std::vector<char>(sizes[0], 'x'), std::vector<char>(sizes[1], 'x'),
              std::vector<char>(sizes[2], 'x'), std::vector<char>(sizes[3], 'x')};
    MailHeaderParser parser(b.subject, b.date, b.from, b.header);
    while (!message.isEmpty()) {
        // Without cuts the whole stream arrives at once; an exhausted cut
        // list gives pieces of one byte.
        const qsizetype n = cuts ? std::max<qsizetype>(1, cuts->byte()) : message.size();
        const QByteArrayView piece = message.first(std::min(n, message.size()));
        parser.feed(piece);
        message = message.sliced(piece.size());
    }
    parser.finish();
    parser.finish(); // a second finish changes nothing
    return b;
}

void checkTerminated(const std::vector<char>& buffer)
{
    if (!buffer.empty())
        FUZZ_CHECK(std::memchr(buffer.data(), '\0', buffer.size()) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    // Sizes 0 to 63 bytes for the fields, up to 255 for the header block.
    const uint8_t sizes[4] = {uint8_t(in.byte() % 64), uint8_t(in.byte() % 64),
                              uint8_t(in.byte() % 64), in.byte()};
    const QByteArrayView cutBytes = in.piece();
    const QByteArrayView message = in.rest();

    const Buffers whole = run(sizes, message, nullptr);
    FuzzInput cuts(reinterpret_cast<const uint8_t*>(cutBytes.data()), size_t(cutBytes.size()));
    const Buffers pieces = run(sizes, message, &cuts);

    for (const auto* buffer : {&whole.subject, &whole.date, &whole.from, &whole.header})
        checkTerminated(*buffer);
    // Byte for byte, also past the NUL: the same writes, whatever the pieces.
    FUZZ_CHECK(whole.subject == pieces.subject);
    FUZZ_CHECK(whole.date == pieces.date);
    FUZZ_CHECK(whole.from == pieces.from);
    FUZZ_CHECK(whole.header == pieces.header);
    return 0;
}

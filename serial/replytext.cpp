#include "serial/replytext.h"

#include <utility>

namespace serial {

namespace {

// How many bytes the UTF-8 sequence starting with `lead` has; 0 when `lead`
// cannot start one (a continuation byte, an overlong or out-of-range lead).
int sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point of a complete sequence, or -1 when it is overlong, a
// surrogate or beyond Unicode.
char32_t codePoint(const unsigned char *s, int length)
{
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    static constexpr unsigned char leadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = s[0] & leadBits[length];
    for (int i = 1; i < length; ++i)
        c = (c << 6) | (s[i] & 0x3F);
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return char32_t(-1);
    return c;
}

// Format characters (zero-width joiners, direction marks) print nothing.
bool isPrintable(char32_t c) { return QChar::isPrint(c) && QChar::category(c) != QChar::Other_Format; }

} // namespace

QString hexToken(unsigned char byte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    const QChar token[] = {u'<', QLatin1Char(digits[byte >> 4]), QLatin1Char(digits[byte & 0x0F]), u'>'};
    return QString(token, 4);
}

QString ReplyText::decode(const QByteArray &bytes)
{
    const QByteArray all = partial + bytes;
    partial.clear();
    const auto *s = reinterpret_cast<const unsigned char *>(all.constData());
    const int size = int(all.size());
    QString text;
    for (int i = 0; i < size;) {
        const unsigned char byte = s[i];
        const bool lineFeedOfCrLf = byte == '\n' && afterCarriageReturn;
        afterCarriageReturn = byte == '\r';
        if (byte == '\n' || byte == '\r' || byte == '\t') {
            if (!lineFeedOfCrLf)
                text += byte == '\t' ? QChar(u'\t') : QChar(u'\n');
            ++i;
            continue;
        }
        const int length = sequenceLength(byte);
        int complete = 1;
        while (complete < length && i + complete < size && isContinuation(s[i + complete]))
            ++complete;
        if (length > 1 && complete == size - i && complete < length) {
            partial = all.mid(i); // the rest of this character may follow
            break;
        }
        const char32_t c = length > 0 && complete == length ? codePoint(s + i, length) : char32_t(-1);
        if (c != char32_t(-1) && isPrintable(c)) {
            text += QString::fromUcs4(&c, 1);
            i += length;
        } else {
            text += hexToken(byte); // one byte at a time: what follows may be text
            ++i;
        }
    }
    return text;
}

QString ReplyText::flush()
{
    QString text;
    for (char byte : std::exchange(partial, QByteArray()))
        text += hexToken(static_cast<unsigned char>(byte));
    return text;
}

} // namespace serial

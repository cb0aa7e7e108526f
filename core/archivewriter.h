#pragma once

// The chat archive's JSON writer, for core/archive.cpp alone.
#include <QByteArray>
#include <QStringView>
#include <QUuid>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace ArchiveJson {

// Encoding writes text directly: the archive is rewritten on every save, and
// building a document tree first would double the cost. Strings go from UTF-16
// to escaped UTF-8 in one pass over a buffer that grows by doubling.
class Writer
{
public:
    QByteArray out;
    qsizetype length = 0;

    void raw(std::string_view text)
    {
        char *p = reserve(qsizetype(text.size()));
        std::memcpy(p, text.data(), text.size());
        length += qsizetype(text.size());
    }
    void key(std::string_view name)
    {
        char *p = reserve(qsizetype(name.size()) + 3);
        *p++ = '"';
        std::memcpy(p, name.data(), name.size());
        p += name.size();
        *p++ = '"';
        *p++ = ':';
        length = p - out.data();
    }
    void string(QStringView text)
    {
        // At most six bytes per UTF-16 unit (a control character as \u00XX).
        char *p = reserve(text.size() * 6 + 2);
        *p++ = '"';
        const char16_t *u = text.utf16();
        const char16_t *const end = u + text.size();
        while (u < end) {
            const char16_t c = *u++;
            if (c < 0x80) {
                if (c >= 0x20 && c != u'"' && c != u'\\') {
                    *p++ = char(c);
                    continue;
                }
                *p++ = '\\';
                switch (c) {
                case u'"':
                    *p++ = '"';
                    break;
                case u'\\':
                    *p++ = '\\';
                    break;
                case u'\n':
                    *p++ = 'n';
                    break;
                case u'\r':
                    *p++ = 'r';
                    break;
                case u'\t':
                    *p++ = 't';
                    break;
                case u'\b':
                    *p++ = 'b';
                    break;
                case u'\f':
                    *p++ = 'f';
                    break;
                default:
                    *p++ = 'u';
                    *p++ = '0';
                    *p++ = '0';
                    *p++ = hexDigits[c >> 4];
                    *p++ = hexDigits[c & 0xF];
                }
            } else if (c < 0x800) {
                *p++ = char(0xC0 | (c >> 6));
                *p++ = char(0x80 | (c & 0x3F));
            } else if (QChar::isHighSurrogate(c) && u < end && QChar::isLowSurrogate(*u)) {
                const char32_t code = QChar::surrogateToUcs4(c, *u++);
                *p++ = char(0xF0 | (code >> 18));
                *p++ = char(0x80 | ((code >> 12) & 0x3F));
                *p++ = char(0x80 | ((code >> 6) & 0x3F));
                *p++ = char(0x80 | (code & 0x3F));
            } else {
                // A lone surrogate has no UTF-8 form: written as the replacement character.
                const char16_t code = QChar::isSurrogate(c) ? char16_t(0xFFFD) : c;
                *p++ = char(0xE0 | (code >> 12));
                *p++ = char(0x80 | ((code >> 6) & 0x3F));
                *p++ = char(0x80 | (code & 0x3F));
            }
        }
        *p++ = '"';
        length = p - out.data();
    }
    void uuid(const QUuid &id)
    {
        // The canonical upper-case form, without building a string per identifier.
        const QByteArray bytes = id.toRfc4122();
        char *p = reserve(38);
        *p++ = '"';
        for (int i = 0; i < 16; ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10)
                *p++ = '-';
            const auto b = static_cast<unsigned char>(bytes[i]);
            *p++ = upperHexDigits[b >> 4];
            *p++ = upperHexDigits[b & 0xF];
        }
        *p++ = '"';
        length = p - out.data();
    }
    void number(double value)
    {
        char *p = reserve(32);
        length = std::to_chars(p, p + 32, value).ptr - out.data();
    }
    void boolean(bool value) { raw(value ? "true" : "false"); }

    QByteArray take()
    {
        out.truncate(length);
        return std::move(out);
    }

private:
    static constexpr char hexDigits[] = "0123456789abcdef";
    static constexpr char upperHexDigits[] = "0123456789ABCDEF";

    // Room for `extra` more bytes; returns where to write them.
    char *reserve(qsizetype extra)
    {
        if (length + extra > out.size())
            out.resize(std::max(length + extra, out.size() * 2));
        return out.data() + length;
    }
};

} // namespace ArchiveJson

#include "ui/markdown/inlinemarkdown.h"

#include <optional>

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <md4c.h>

namespace {
struct Renderer
{
    const InlineMarkdownStyle &style;
    QString html;
    int codeDepth = 0;
    QString *plain = nullptr;
};

QString attributeText(const MD_ATTRIBUTE &attribute)
{
    return QString::fromUtf8(attribute.text, attribute.size);
}

int enterSpan(MD_SPANTYPE type, void *detail, void *userdata)
{
    auto &r = *static_cast<Renderer *>(userdata);
    switch (type) {
    case MD_SPAN_EM:
        r.html += QLatin1String("<i>");
        break;
    case MD_SPAN_STRONG:
        r.html += QLatin1String("<b>");
        break;
    case MD_SPAN_DEL:
        r.html += QLatin1String("<s>");
        break;
    case MD_SPAN_CODE:
        r.html += QStringLiteral("<span style=\"font-family:'%1'; background-color:%2;\">")
                      .arg(r.style.codeFontFamily.toHtmlEscaped(), r.style.codeBackground);
        ++r.codeDepth;
        break;
    case MD_SPAN_A: {
        const auto *a = static_cast<MD_SPAN_A_DETAIL *>(detail);
        const QString href = attributeText(a->href);
        r.html += QStringLiteral("<a href=\"%1\"").arg(href.toHtmlEscaped());
        if (!r.style.linkColor.isEmpty())
            r.html += QStringLiteral(" style=\"color:%1;\"").arg(r.style.linkColor);
        r.html += u'>';
        break;
    }
    default:
        break;
    }
    return 0;
}

int leaveSpan(MD_SPANTYPE type, void *, void *userdata)
{
    auto &r = *static_cast<Renderer *>(userdata);
    switch (type) {
    case MD_SPAN_EM:
        r.html += QLatin1String("</i>");
        break;
    case MD_SPAN_STRONG:
        r.html += QLatin1String("</b>");
        break;
    case MD_SPAN_DEL:
        r.html += QLatin1String("</s>");
        break;
    case MD_SPAN_CODE:
        r.html += QLatin1String("</span>");
        --r.codeDepth;
        break;
    case MD_SPAN_A:
        r.html += QLatin1String("</a>");
        break;
    default:
        break;
    }
    return 0;
}

int block(MD_BLOCKTYPE, void *, void *)
{
    return 0;
}

QString escapedText(const QString &text, bool keepSpaces)
{
    QString escaped = text.toHtmlEscaped();
    // Rich text collapses runs of spaces; code spans and indentation keep theirs.
    if (keepSpaces)
        escaped.replace(QLatin1String("  "), QLatin1String("&nbsp; "));
    return escaped;
}

struct NamedEntity
{
    QLatin1StringView name; // between "&" and ";"
    QChar character;
};

// The named entities Qt's light styled-text reader decodes; escaping plain text makes only these.
constexpr NamedEntity lightEntities[] = {{QLatin1StringView("amp"), u'&'},
                                         {QLatin1StringView("lt"), u'<'},
                                         {QLatin1StringView("gt"), u'>'},
                                         {QLatin1StringView("quot"), u'"'},
                                         {QLatin1StringView("nbsp"), QChar(QChar::Nbsp)}};

std::optional<QChar> lightEntity(QStringView name)
{
    for (const NamedEntity &entity : lightEntities) {
        if (name == entity.name)
            return entity.character;
    }
    return std::nullopt;
}

// An entity as read aloud: numeric ones and the light reader's named ones decoded, others
// as typed.
QString entityText(const QString &entity)
{
    const QStringView name = QStringView(entity).sliced(1, entity.size() - 2);
    bool ok = false;
    const uint code = name.startsWith(u"#x", Qt::CaseInsensitive) ? name.sliced(2).toUInt(&ok, 16)
                      : name.startsWith(u'#')                     ? name.sliced(1).toUInt(&ok)
                                                                  : 0;
    if (ok && code > 0 && code <= 0x10FFFF && !QChar::isSurrogate(code))
        return QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
    if (const std::optional<QChar> character = lightEntity(name))
        return QString(*character);
    return entity;
}

int text(MD_TEXTTYPE type, const MD_CHAR *chars, MD_SIZE size, void *userdata)
{
    auto &r = *static_cast<Renderer *>(userdata);
    const QString t = QString::fromUtf8(chars, size);
    if (r.plain)
        *r.plain += type == MD_TEXT_BR || type == MD_TEXT_SOFTBR ? QStringLiteral("\n")
                    : type == MD_TEXT_NULLCHAR                   ? QString(QChar(0xFFFD))
                    : type == MD_TEXT_ENTITY                     ? entityText(t)
                                                                 : t;
    switch (type) {
    case MD_TEXT_BR:
    case MD_TEXT_SOFTBR:
        r.html += QLatin1String("<br/>");
        break;
    case MD_TEXT_NULLCHAR:
        r.html += QChar(0xFFFD);
        break;
    case MD_TEXT_ENTITY: {
        // Numeric and named entities: let the rich-text reader decode the safe ones.
        static const QRegularExpression entity(
            QStringLiteral("^&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[A-Za-z][A-Za-z0-9]{1,31});$"));
        r.html += entity.match(t).hasMatch() ? t : t.toHtmlEscaped();
        break;
    }
    default:
        r.html += escapedText(t, r.codeDepth > 0);
        break;
    }
    return 0;
}

bool isRuleOrUnderline(const QString &t)
{
    // Setext underlines (=== or ---) and thematic breaks (***, - - -, ___).
    static const QRegularExpression rule(QStringLiteral("^(=+|-+|([-*_])(\\s*\\2){2,})\\s*$"));
    return rule.match(t).hasMatch();
}
} // namespace

QString escapeBlockSyntax(const QString &markdown)
{
    static const QRegularExpression orderedItem(QStringLiteral("^([0-9]{1,9})([.)])(\\s|$)"));
    static const QRegularExpression linkDefinition(QStringLiteral("^\\[[^\\]]+\\]:"));
    QStringList lines = markdown.split(u'\n');
    for (QString &line : lines) {
        qsizetype indent = 0;
        while (indent < line.size() && (line.at(indent) == u' ' || line.at(indent) == u'\t'))
            ++indent;
        const QString t = line.mid(indent);
        if (t.isEmpty())
            continue;
        const QChar first = t.at(0);
        const bool markerThenSpace = t.size() == 1 || t.at(1) == u' ' || t.at(1) == u'\t';
        bool escape = false;
        if (first == u'>' || first == u'#' || t.startsWith(QLatin1String("~~~")))
            escape = true;
        else if ((first == u'-' || first == u'+' || first == u'*') && markerThenSpace)
            escape = true;
        else if (isRuleOrUnderline(t))
            escape = true;
        else if (linkDefinition.match(t).hasMatch())
            escape = true;
        if (escape) {
            line.insert(indent, u'\\');
            continue;
        }
        const auto match = orderedItem.match(t);
        if (match.hasMatch())
            line.insert(indent + match.capturedLength(1), u'\\');
    }
    return lines.join(u'\n');
}

QString inlineMarkdownToHtml(const QString &markdown,
                             const InlineMarkdownStyle &style,
                             QString *plain)
{
    const QByteArray source = escapeBlockSyntax(markdown).toUtf8();
    if (plain)
        plain->clear();
    Renderer renderer{style, {}, 0, plain};
    MD_PARSER parser{};
    parser.abi_version = 0;
    parser.flags = MD_FLAG_NOHTML | MD_FLAG_NOINDENTEDCODEBLOCKS | MD_FLAG_STRIKETHROUGH;
    parser.enter_block = block;
    parser.leave_block = block;
    parser.enter_span = enterSpan;
    parser.leave_span = leaveSpan;
    parser.text = text;
    if (md_parse(source.constData(), MD_SIZE(source.size()), &parser, &renderer) != 0) {
        if (plain)
            *plain = markdown;
        return markdown.toHtmlEscaped().replace(u'\n', QLatin1String("<br/>"));
    }
    return renderer.html;
}

bool isPlainRichText(QStringView html)
{
    if (html.contains(u'<'))
        return false;
    for (qsizetype at = html.indexOf(u'&'); at >= 0; at = html.indexOf(u'&', at + 1)) {
        const qsizetype end = html.indexOf(u';', at);
        if (end < 0 || !lightEntity(html.sliced(at + 1, end - at - 1)))
            return false;
    }
    return true;
}

QString plainRichTextWords(QStringView html)
{
    QString words;
    qsizetype from = 0;
    for (qsizetype at = html.indexOf(u'&'); at >= 0; at = html.indexOf(u'&', from)) {
        const qsizetype end = html.indexOf(u';', at);
        if (end < 0)
            break;
        words += html.sliced(from, at - from);
        const std::optional<QChar> character = lightEntity(html.sliced(at + 1, end - at - 1));
        if (character)
            words += *character;
        else
            words += html.sliced(at, end - at + 1);
        from = end + 1;
    }
    words += html.sliced(from);
    return words;
}

bool isOpenableLink(const QString &url)
{
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https")
           || scheme == QLatin1String("mailto");
}

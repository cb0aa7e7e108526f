#include "ui/components/icons.h"
#include "ui/components/logging.h"

#include <QFontDatabase>
#include <QHash>
#include <QQmlEngine>

namespace {
// Symbol name -> Material Icons codepoint (the font's own icon name alongside).
const QHash<QString, char16_t> &glyphTable()
{
    static const QHash<QString, char16_t> table = {
        {QStringLiteral("app.badge"), 0xef40},                         // app_registration
        {QStringLiteral("apps.iphone"), 0xe5c3},                       // apps
        {QStringLiteral("arrow.clockwise"), 0xe5d5},                   // refresh
        {QStringLiteral("arrow.down.doc.fill"), 0xe2c4},               // file_download
        {QStringLiteral("arrow.up"), 0xe5d8},                          // arrow_upward
        {QStringLiteral("arrow.up.right"), 0xf1e1},                    // north_east
        {QStringLiteral("bolt.fill"), 0xea0b},                         // bolt
        {QStringLiteral("brain.head.profile"), 0xea4a},                // psychology
        {QStringLiteral("bubble.left.and.bubble.right.fill"), 0xe0bf}, // forum
        {QStringLiteral("camera.viewfinder"), 0xe3b4},                 // center_focus_strong
        {QStringLiteral("checkmark"), 0xe5ca},                         // check
        {QStringLiteral("checkmark.circle.fill"), 0xe86c},             // check_circle
        {QStringLiteral("chevron.down"), 0xe5cf},                      // expand_more
        {QStringLiteral("chevron.right"), 0xe5cc},                     // chevron_right
        {QStringLiteral("chevron.up"), 0xe5ce},                        // expand_less
        {QStringLiteral("clock.arrow.circlepath"), 0xe889},            // history
        {QStringLiteral("cpu"), 0xe322},                               // memory
        {QStringLiteral("cpu.fill"), 0xe30d},                          // developer_board
        {QStringLiteral("doc.on.doc"), 0xe14d},                        // content_copy
        {QStringLiteral("doc.text"), 0xe873},                          // description
        {QStringLiteral("doc.text.fill"), 0xef42},                     // article
        {QStringLiteral("equal.circle.fill"), 0xe25d},                 // drag_handle
        {QStringLiteral("eye"), 0xe8f4},                               // visibility
        {QStringLiteral("exclamationmark.circle.fill"), 0xe000},       // error
        {QStringLiteral("exclamationmark.triangle.fill"), 0xe002},     // warning
        {QStringLiteral("folder"), 0xe2c7},                            // folder
        {QStringLiteral("gear"), 0xe8b8},                              // settings
        {QStringLiteral("hand.wave.fill"), 0xe766},                    // waving_hand
        {QStringLiteral("info.circle"), 0xe88f},                       // info_outline
        {QStringLiteral("lock.shield.fill"), 0xe32a},                  // security
        {QStringLiteral("magnifyingglass"), 0xe8b6},                   // search
        {QStringLiteral("paperclip"), 0xe226},                         // attach_file
        {QStringLiteral("pencil.circle.fill"), 0xe3c9},                // edit
        {QStringLiteral("photo"), 0xe3f4},                             // image
        {QStringLiteral("pin"), 0xf10d},                               // push_pin
        {QStringLiteral("pin.fill"), 0xf10d},                          // push_pin
        {QStringLiteral("pin.slash"), 0xe0c7},                         // location_off
        {QStringLiteral("plus"), 0xe145},                              // add
        {QStringLiteral("server.rack"), 0xe875},                       // dns
        {QStringLiteral("slider.horizontal.3"), 0xe429},               // tune
        {QStringLiteral("sparkles"), 0xe65f},                          // auto_awesome
        {QStringLiteral("square.and.arrow.down"), 0xe171},             // save_alt
        {QStringLiteral("square.and.arrow.up"), 0xe6b8},               // ios_share
        {QStringLiteral("square.and.pencil"), 0xe560},                 // rate_review
        {QStringLiteral("stop.fill"), 0xe047},                         // stop
        {QStringLiteral("terminal.fill"), 0xeb8e},                     // terminal
        {QStringLiteral("text.quote"), 0xe244},                        // format_quote
        {QStringLiteral("trash"), 0xe872},                             // delete
        {QStringLiteral("wrench.and.screwdriver.fill"), 0xe869},       // build
        {QStringLiteral("xmark"), 0xe5cd},                             // close
        {QStringLiteral("xmark.circle"), 0xe888},                      // highlight_off
        {QStringLiteral("xmark.circle.fill"), 0xe5c9},                 // cancel
    };
    return table;
}
} // namespace

Icons::Icons(QObject *parent)
    : QObject(parent)
{}

Icons *Icons::instance()
{
    static Icons *icons = new Icons;
    return icons;
}

Icons *Icons::create(QQmlEngine *, QJSEngine *)
{
    Icons *icons = instance();
    QQmlEngine::setObjectOwnership(icons, QQmlEngine::CppOwnership);
    return icons;
}

QString Icons::fontFamily()
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(
            QStringLiteral(":/fonts/MaterialIcons-Regular.ttf"));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QStringLiteral("Material Icons") : families.first();
    }();
    return family;
}

QString Icons::glyph(const QString &symbolName)
{
    const auto it = glyphTable().constFind(symbolName);
    if (it == glyphTable().cend()) {
        // A name missing from the table would draw nothing; say so, so screens under test fail.
        if (!symbolName.isEmpty())
            qCWarning(lcUi, "no glyph for the symbol \"%s\"", qPrintable(symbolName));
        return {};
    }
    return QString(QChar(*it));
}

QStringList Icons::symbolNames()
{
    QStringList names = glyphTable().keys();
    names.sort();
    return names;
}

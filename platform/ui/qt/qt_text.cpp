#include "platform/ui/qt/qt_text.h"

#include <QStringDecoder>

namespace ui::qt {

QString ToQString(const std::string& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!decoder.hasError())
        return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text)
{
    return text.toStdString();
}

namespace {

// Walks a label text, handing `sink` each shown character and whether it
// is the mnemonic character.
template <typename Sink> void WalkMnemonics(const QString& text, Sink sink)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] != u'&') {
            sink(QStringView(text).mid(i, 1), false);
            continue;
        }
        if (i + 1 >= n)
            break; // a trailing marker shows nothing
        if (text[i + 1] == u'&') {
            sink(QStringView(text).mid(i + 1, 1), false);
            ++i;
            continue;
        }
        qsizetype len = (text[i + 1].isHighSurrogate() && i + 2 < n) ? 2 : 1;
        sink(QStringView(text).mid(i + 1, len), true);
        i += len;
    }
}

QString EscapeForHtml(QStringView piece)
{
    QString out;
    for (QChar c : piece) {
        switch (c.unicode()) {
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        case u' ':
        case u'\t':
            out += QLatin1String("&nbsp;");
            break;
        case u'\n':
            out += QLatin1String("<br>");
            break;
        case u'\r':
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

} // namespace

QString MnemonicToHtml(const QString& text)
{
    QString html;
    WalkMnemonics(text, [&html](QStringView piece, bool mnemonic) {
        if (mnemonic)
            html += QLatin1String("<u>") + EscapeForHtml(piece) + QLatin1String("</u>");
        else
            html += EscapeForHtml(piece);
    });
    return html;
}

bool IsPlainLine(const QString& text)
{
    for (QChar c : text)
        if (c == u'&' || c == u'\n' || c == u'\r' || c == u'\t')
            return false;
    return true;
}

QString StripMnemonics(const QString& text)
{
    QString plain;
    WalkMnemonics(text, [&plain](QStringView piece, bool) { plain += piece; });
    return plain;
}

} // namespace ui::qt

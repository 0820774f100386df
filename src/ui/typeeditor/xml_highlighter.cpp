#include "ui/typeeditor/xml_highlighter.h"

namespace telvo {

TXmlHighlighter::TXmlHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document),
      element_(QStringLiteral(R"(</?[A-Za-z_][\w.:-]*|/?>|<\?[A-Za-z]+|\?>)")),
      attribute_(QStringLiteral(R"(\b([A-Za-z_][\w.:-]*)\s*=)")),
      value_(QStringLiteral(R"("[^"]*"|'[^']*')"))
{
    KeywordFormat.setForeground(QColor(0, 0, 160));
    KeywordFormat.setFontWeight(QFont::Bold);
    AttributeFormat.setForeground(QColor(160, 0, 0));
    ValueFormat.setForeground(QColor(0, 120, 0));
    CommentFormat.setForeground(QColor(128, 128, 128));
    CommentFormat.setFontItalic(true);
}

void TXmlHighlighter::highlightBlock(const QString& text)
{
    // Block state 1: inside a comment that began on an earlier line.
    int start = 0;
    if (previousBlockState() == 1) {
        const int end = text.indexOf(QStringLiteral("-->"));
        if (end < 0) {
            setFormat(0, text.size(), CommentFormat);
            setCurrentBlockState(1);
            return;
        }
        setFormat(0, end + 3, CommentFormat);
        start = end + 3;
    }
    setCurrentBlockState(0);
    // Colour tags outside comments; a comment's text is left to its own pass.
    int pos = start;
    while (pos < text.size()) {
        const int comment = text.indexOf(QStringLiteral("<!--"), pos);
        const int stop = comment < 0 ? text.size() : comment;
        const QString part = text.mid(pos, stop - pos);
        for (auto it = element_.globalMatch(part); it.hasNext();) {
            auto m = it.next();
            setFormat(pos + m.capturedStart(), m.capturedLength(), KeywordFormat);
        }
        for (auto it = attribute_.globalMatch(part); it.hasNext();) {
            auto m = it.next();
            setFormat(pos + m.capturedStart(1), m.capturedLength(1), AttributeFormat);
        }
        for (auto it = value_.globalMatch(part); it.hasNext();) {
            auto m = it.next();
            setFormat(pos + m.capturedStart(), m.capturedLength(), ValueFormat);
        }
        if (comment < 0)
            break;
        const int end = text.indexOf(QStringLiteral("-->"), comment + 4);
        if (end < 0) {
            setFormat(comment, text.size() - comment, CommentFormat);
            setCurrentBlockState(1);
            return;
        }
        setFormat(comment, end + 3 - comment, CommentFormat);
        pos = end + 3;
    }
}

} // namespace telvo

#pragma once
// Colours the XML text of the type editor's "XML spec" page: element names,
// attribute names, attribute values and comments. Comments may span lines.

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace telvo {

class TXmlHighlighter : public QSyntaxHighlighter {
public:
    explicit TXmlHighlighter(QTextDocument* document);

    // The formats, for whoever checks the colouring.
    QTextCharFormat KeywordFormat, AttributeFormat, ValueFormat, CommentFormat;

protected:
    void highlightBlock(const QString& text) override;

private:
    QRegularExpression element_, attribute_, value_;
};

} // namespace telvo

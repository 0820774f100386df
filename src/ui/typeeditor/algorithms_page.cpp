// The FB type editor's Algorithms page: the list of algorithms, their text
// and the check of a script algorithm.

#include "ui/typeeditor/type_editor.h"
#include "ui/typeeditor/type_editor_p.h"

#include "model/fb_type.h"
#include "runtime/algorithm_text.h"
#include "runtime/script_check.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>

namespace telvo {

namespace {

// Lines of a text editor's content, every character as typed: tabs, trailing
// blanks and non-breaking spaces are kept (toPlainText would turn the last
// into blanks). An empty text has no lines.
std::vector<std::string> linesOf(const QPlainTextEdit* edit)
{
    QString raw = edit->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    raw.replace(QChar::LineSeparator, QLatin1Char('\n'));
    std::vector<std::string> lines;
    if (raw.isEmpty())
        return lines;
    for (const QString& l : raw.split(QLatin1Char('\n')))
        lines.push_back(ss(l));
    return lines;
}

QString joinLines(const std::vector<std::string>& lines)
{
    QStringList parts;
    for (const auto& l : lines)
        parts << qs(l);
    return parts.join(QLatin1Char('\n'));
}

} // namespace

QWidget* TfrmDesignFBType::buildAlgorithmsPage()
{
    auto* page = new QWidget;
    page->setObjectName("tsAlgorithms");
    auto* v = new QVBoxLayout(page);
    QWidget* list = buildInterfaceGrid(TGrid::Algorithms, QStringLiteral("Algorithms"), nullptr);
    list->setMaximumHeight(170);
    v->addWidget(list);
    connect(Grid(TGrid::Algorithms), &QTableWidget::currentCellChanged, this,
            [this](int row) { SelectAlgorithm(row); });

    algPages_ = new QTabWidget(page);
    algPages_->setObjectName("pcAlgorithm");
    memST_ = new QPlainTextEdit;
    memST_->setObjectName("memST");
    memST_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memST_->setUndoRedoEnabled(false);
    fixedFont(memST_);
    algPages_->addTab(memST_, QStringLiteral("ST"));
    QWidget* ladder = buildInterfaceGrid(TGrid::Rungs, QStringLiteral("Ladder"), algPages_);
    ladder->setObjectName("tsLadder");
    auto* fbd = new QLabel(QStringLiteral(""));
    fbd->setObjectName("tsFBDiagram");
    algPages_->addTab(fbd, QStringLiteral("FB Diagram"));

    auto* other = new QWidget;
    other->setObjectName("tsOther");
    auto* ov = new QVBoxLayout(other);
    auto* langRow = new QHBoxLayout;
    langRow->addWidget(new QLabel(QStringLiteral("Language:")));
    edtLanguage_ = new QLineEdit(other);
    edtLanguage_->setObjectName("edtLanguage");
    langRow->addWidget(edtLanguage_, 1);
    auto* useScript = new QPushButton(QStringLiteral("Use Delphi Script"), other);
    useScript->setObjectName("btnUseDelphiScript");
    langRow->addWidget(useScript);
    auto* check = new QPushButton(QStringLiteral("Check script"), other);
    check->setObjectName("btnCheckScript");
    langRow->addWidget(check);
    ov->addLayout(langRow);
    auto* split = new QHBoxLayout;
    auto* srcCol = new QVBoxLayout;
    srcCol->addWidget(new QLabel(QStringLiteral("Source:")));
    memSource_ = new QPlainTextEdit(other);
    memSource_->setObjectName("memSource");
    memSource_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memSource_->setUndoRedoEnabled(false);
    fixedFont(memSource_);
    srcCol->addWidget(memSource_, 1);
    lblCheck_ = new QLabel(other);
    lblCheck_->setObjectName("lblScriptCheck");
    lblCheck_->setWordWrap(true);
    srcCol->addWidget(lblCheck_);
    split->addLayout(srcCol, 1);
    auto* names = new QTabWidget(other);
    names->setObjectName("pcNames");
    names->setMaximumWidth(170);
    const char* nameCaptions[] = {"Data Outputs", "Data Inputs", "Internal Vars", "Event Inputs"};
    for (int i = 0; i < 4; ++i) {
        algNames_[i] = new QListWidget;
        algNames_[i]->setObjectName(QStringLiteral("lb") + QString::fromLatin1(nameCaptions[i]).remove(' '));
        names->addTab(algNames_[i], QString::fromLatin1(nameCaptions[i]));
        connect(algNames_[i], &QListWidget::itemDoubleClicked, this, [this, i](QListWidgetItem* item) {
            insertAlgorithmName(i == 0 ? QStringLiteral("DO_") + item->text() : item->text());
        });
    }
    split->addWidget(names);
    ov->addLayout(split, 1);
    algPages_->addTab(other, QStringLiteral("Other"));
    v->addWidget(algPages_, 1);

    connect(memST_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_)
            algorithmTextEdited(0);
    });
    connect(memSource_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_)
            algorithmTextEdited(1);
    });
    connect(edtLanguage_, &QLineEdit::textEdited, this, [this] { algorithmTextEdited(2); });
    connect(useScript, &QPushButton::clicked, this, [this] { UseDelphiScriptClick(); });
    connect(check, &QPushButton::clicked, this, [this] { CheckAlgorithmClick(); });
    return page;
}

void TfrmDesignFBType::fillAlgorithmNameLists()
{
    if (!type_)
        return;
    auto fill = [](QListWidget* list, const auto& items) {
        list->clear();
        for (const auto& i : items)
            list->addItem(qs(i->Name));
    };
    fill(algNames_[0], type_->DataOutputs);
    fill(algNames_[1], type_->DataInputs);
    fill(algNames_[2], type_->InternalVars);
    fill(algNames_[3], type_->EventInputs);
}

void TfrmDesignFBType::SelectAlgorithm(int row)
{
    QTableWidget* table = Grid(TGrid::Algorithms);
    if (row >= 0 && row < count(TGrid::Algorithms) && table->currentRow() != row) {
        table->setCurrentCell(row, 0); // comes back here through currentCellChanged
        return;
    }
    fillAlgorithm();
}

void TfrmDesignFBType::fillAlgorithm()
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    const bool valid = type_ && row >= 0 && row < count(TGrid::Algorithms);
    filling_ = true;
    const TFBAlgorithm* a = valid ? type_->Algorithms[row].get() : nullptr;
    const QString st = a ? joinLines(a->STText) : QString();
    const QString other = a ? joinLines(a->OtherText) : QString();
    if (memST_->toPlainText() != st || !a)
        memST_->setPlainText(st);
    if (memSource_->toPlainText() != other || !a)
        memSource_->setPlainText(other);
    edtLanguage_->setText(a ? qs(a->Language) : QString());
    memST_->setEnabled(a);
    memSource_->setEnabled(a);
    edtLanguage_->setEnabled(a);
    lblCheck_->clear();
    filling_ = false;
    fillGrid(TGrid::Rungs);
    if (a) {
        if (a->HasFBD)
            algPages_->setCurrentIndex(2);
        else if (!a->Rungs.empty())
            algPages_->setCurrentIndex(1);
        if (!a->STText.empty())
            algPages_->setCurrentIndex(0);
        if (!a->OtherText.empty())
            algPages_->setCurrentIndex(3);
    }
}

void TfrmDesignFBType::algorithmTextEdited(int which)
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    if (!type_ || row < 0 || row >= count(TGrid::Algorithms))
        return;
    TFBAlgorithm& a = *type_->Algorithms[row];
    switch (which) {
    case 0:
        a.STText = linesOf(memST_);
        Commit(QStringLiteral("ST of ") + qs(a.Name), QStringLiteral("st") + QString::number(row));
        break;
    case 1:
        a.OtherText = linesOf(memSource_);
        lblCheck_->clear();
        Commit(QStringLiteral("Source of ") + qs(a.Name), QStringLiteral("src") + QString::number(row));
        break;
    default:
        a.Language = ss(edtLanguage_->text());
        Commit(QStringLiteral("Language of ") + qs(a.Name), QStringLiteral("lang") + QString::number(row));
        break;
    }
}

void TfrmDesignFBType::insertAlgorithmName(const QString& text)
{
    if (!memSource_->isEnabled())
        return;
    memSource_->insertPlainText(text);
}

void TfrmDesignFBType::UseDelphiScriptClick()
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    if (!type_ || row < 0 || row >= count(TGrid::Algorithms))
        return;
    TFBAlgorithm& a = *type_->Algorithms[row];
    a.Language = "DelphiScript";
    a.OtherText = {"//Write here your code in Pascal/Delphi Script",
                   "//Use only variable names from Event Inputs, Data Inputs and Internal Variables",
                   "//For all your Data Outputs, use DO_DataOutputName", "//Examples: DO_VOUT:= QVIN+10;"};
    lastMergeKey_.clear();
    fillAlgorithm();
    algPages_->setCurrentIndex(3);
    Commit(QStringLiteral("Use Delphi Script in ") + qs(a.Name));
}

bool TfrmDesignFBType::CheckAlgorithmClick()
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    if (!type_ || row < 0 || row >= count(TGrid::Algorithms))
        return false;
    const TFBAlgorithm& a = *type_->Algorithms[row];
    // The script the simulation would run for this algorithm on an instance
    // of the type, compiled by the same compiler; Structured Text through
    // its translation, with places in the ST text.
    const bool st = AlgorithmLanguage(a) == "ST";
    const TScriptCheck check =
        st ? CheckAlgorithm(*type_, a) : CheckAlgorithmScript(*type_, a.OtherText.empty() ? a.STText : a.OtherText);
    if (!check.Ok) {
        QString text = qs(check.Message);
        if (check.Line >= 1) {
            text = QStringLiteral("Line %1, column %2: ").arg(check.Line).arg(check.Column) + text;
            QPlainTextEdit* source = st ? memST_ : memSource_;
            QTextCursor cursor(source->document()->findBlockByNumber(check.Line - 1));
            cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, std::max(0, check.Column - 1));
            source->setTextCursor(cursor);
        }
        lblCheck_->setText(text);
        lblCheck_->setStyleSheet(QStringLiteral("color: #b00000;"));
        return false;
    }
    lblCheck_->setText(QStringLiteral("The script of ") + qs(a.Name) + QStringLiteral(" compiles."));
    lblCheck_->setStyleSheet(QStringLiteral("color: #006000;"));
    return true;
}

QString TfrmDesignFBType::AlgorithmCheckText() const { return lblCheck_->text(); }

} // namespace telvo

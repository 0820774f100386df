// The FB type editor's Compile page: the Pascal library source of the type
// and its compilation with fpc.

#include "ui/typeeditor/type_editor.h"
#include "ui/typeeditor/type_editor_p.h"

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "model/file_util.h"
#include "workbench/workbench.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <signal.h>
#include <unistd.h>

namespace telvo {

namespace fs = std::filesystem;

QWidget* TfrmDesignFBType::buildCompilePage()
{
    auto* page = new QWidget;
    page->setObjectName("tsCompile");
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    btnCreateCode_ = new QPushButton(QStringLiteral("Create FB type code"), page);
    btnCreateCode_->setObjectName("btnCreateCode");
    btnCompile_ = new QPushButton(QStringLiteral("Compile"), page);
    btnCompile_->setObjectName("btnCompile");
    btnCompile_->setEnabled(false);
    btnCancelCompile_ = new QPushButton(QStringLiteral("Cancel"), page);
    btnCancelCompile_->setObjectName("btnCancelCompile");
    btnCancelCompile_->setEnabled(false);
    row->addWidget(btnCreateCode_);
    row->addWidget(btnCompile_);
    row->addWidget(btnCancelCompile_);
    row->addStretch(1);
    v->addLayout(row);
    lblFile_ = new QLabel(QStringLiteral("File:-"), page);
    lblFile_->setObjectName("lblFile");
    lblFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    v->addWidget(lblFile_);
    auto* split = new QSplitter(Qt::Vertical, page);
    codeView_ = new QPlainTextEdit(split);
    codeView_->setObjectName("memCode");
    codeView_->setReadOnly(true);
    codeView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    fixedFont(codeView_);
    compilerView_ = new QPlainTextEdit(split);
    compilerView_->setObjectName("memCompilerOutput");
    compilerView_->setReadOnly(true);
    compilerView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    fixedFont(compilerView_);
    split->addWidget(codeView_);
    split->addWidget(compilerView_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    v->addWidget(split, 1);
    lblLibrary_ = new QLabel(page);
    lblLibrary_->setObjectName("lblLibrary");
    lblLibrary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblExit_ = new QLabel(page);
    lblExit_->setObjectName("lblExitStatus");
    v->addWidget(lblLibrary_);
    v->addWidget(lblExit_);
    connect(btnCreateCode_, &QPushButton::clicked, this, [this] { CreateCodeClick(); });
    connect(btnCompile_, &QPushButton::clicked, this, [this] { CompileClick(); });
    connect(btnCancelCompile_, &QPushButton::clicked, this, [this] { CancelCompileClick(); });
    return page;
}

// ===========================================================================
// Code page

bool TfrmDesignFBType::CreateCodeClick()
{
    if (!type_)
        return false;
    try {
        generated_ = GeneratePascalFile(*type_, workbench_.KaloFolder());
        codeView_->setPlainText(qs(ReadFileText(generated_)));
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return false;
    }
    lblFile_->setText(QStringLiteral("File: ") + qs(generated_.string()));
    btnCompile_->setEnabled(true);
    return true;
}

void TfrmDesignFBType::CompileClick()
{
    if (generated_.empty() || Compiling())
        return;
    delete compiler_;
    compiler_ = new QProcess(this);
    compiler_->setProcessChannelMode(QProcess::MergedChannels);
    compiler_->setWorkingDirectory(qs(generated_.parent_path().string()));
    // The compiler starts its own helpers (assembler, linker): it leads a
    // process group of its own so that Cancel stops all of them.
    compiler_->setChildProcessModifier([] { ::setpgid(0, 0); });
    QStringList args;
    for (const auto& a : PascalCompilerArguments(generated_))
        args << qs(a);
    compilerView_->clear();
    lblExit_->clear();
    const fs::path library = PascalLibraryFile(generated_);
    lblLibrary_->setText(QStringLiteral("Library: ") + qs(library.string()));
    compileStatus_ = QStringLiteral("Compiling...");
    lblExit_->setText(compileStatus_);
    setStatus(compileStatus_);
    connect(compiler_, &QProcess::readyRead, this, [this] {
        compilerView_->moveCursor(QTextCursor::End);
        compilerView_->insertPlainText(QString::fromLocal8Bit(compiler_->readAll()));
    });
    connect(compiler_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            compileStatus_ = QStringLiteral("The compiler could not be started: ") + compiler_->errorString();
            lblExit_->setText(compileStatus_);
            setStatus(compileStatus_);
            btnCancelCompile_->setEnabled(false);
            btnCompile_->setEnabled(true);
        }
    });
    connect(compiler_, &QProcess::finished, this, [this, library](int code, QProcess::ExitStatus status) {
        compilerView_->moveCursor(QTextCursor::End);
        compilerView_->insertPlainText(QString::fromLocal8Bit(compiler_->readAll()));
        std::error_code ec;
        if (status == QProcess::CrashExit)
            compileStatus_ = QStringLiteral("Compiler stopped: no library built");
        else if (code == 0 && fs::exists(library, ec))
            compileStatus_ = QStringLiteral("Exit status: 0 - library built");
        else
            compileStatus_ = QStringLiteral("Exit status: ") + QString::number(code) +
                             QStringLiteral(" - no library built, see the compiler's messages");
        lblExit_->setText(compileStatus_);
        setStatus(compileStatus_);
        btnCancelCompile_->setEnabled(false);
        btnCompile_->setEnabled(true);
    });
    btnCompile_->setEnabled(false);
    btnCancelCompile_->setEnabled(true);
    compiler_->start(qs(PascalCompilerProgram(workbench_.Settings)), args);
}

void TfrmDesignFBType::CancelCompileClick()
{
    if (!Compiling())
        return;
    ::kill(-static_cast<pid_t>(compiler_->processId()), SIGKILL);
}

bool TfrmDesignFBType::Compiling() const { return compiler_ && compiler_->state() != QProcess::NotRunning; }
QString TfrmDesignFBType::CompilerOutput() const { return compilerView_->toPlainText(); }
QString TfrmDesignFBType::CompileStatus() const { return compileStatus_; }

} // namespace telvo

#include "ui/mainwindow/project_commands.h"

#include "model/project_manager.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_browser.h"
#include "workbench/project_lifecycle.h"
#include "workbench/workbench.h"

#include <QMetaObject>
#include <QThread>

#include <exception>

namespace telvo {

namespace {

// The workbench's project lifecycle with the main window as its windows.
// A project file is read on a worker thread; whatever the lifecycle asks of
// the windows meanwhile is done on the UI thread while the worker waits, so
// the model is never read and written at once.
class TWorkbenchProjectCommands final : public TProjectCommands {
public:
    explicit TWorkbenchProjectCommands(TMainForm& form) : form_(form), workbench_(form.Workbench())
    {
        TProjectWindows& w = workbench_.ProjectManager().Windows;
        w.ShowNewProjectDialog = [this](TNewProjectAnswers& answers) {
            bool confirmed = false;
            onUi([&] { confirmed = form_.ShowNewProjectDialog(answers); });
            return confirmed;
        };
        w.AskProjectFileName = [this] {
            std::string file;
            onUi([&] { file = form_.AskProjectFileName(); });
            return file;
        };
        w.CloseEditorWindows = [this] { onUi([this] { form_.CloseEditorWindows(); }); };
        w.ProjectClosed = [this] { onUi([this] { form_.ProjectClosed(); }); };
        w.ProjectShown = [this] { onUi([this] { form_.ProjectShown(); }); };
        w.ProjectFileRead = [this](const std::string& path) { onUi([&] { form_.ProjectFileRead(path); }); };
        w.SetCaption = [this](const std::string& caption) {
            onUi([&] {
                // Qt's "[*]" mark: the caption shows "*" while the project has unsaved changes.
                form_.setWindowTitle(QString::fromStdString(caption) + QStringLiteral("[*]"));
            });
        };
        w.SetTreeStatus = [this](const std::string& status) {
            onUi([&] { form_.ProjectBrowser()->SetHintText(QString::fromStdString(ProjectCommentOfStatus(status))); });
        };
    }

    ~TWorkbenchProjectCommands() override { workbench_.ProjectManager().Windows = {}; }

    TProjectInfo Info() const override
    {
        const TProject_Manager& project = workbench_.ProjectManager();
        TProjectInfo info;
        info.Name = project.Name;
        info.FileName = project.FileName;
        info.Comment = project.Comment;
        info.HasUmlModel = project.HasUmlModel;
        return info;
    }

    void NewProject() override { telvo::NewProject(workbench_); }

    void OpenProject(const std::string& path) override
    {
        // One project is read at a time, and only once the library is
        // indexed: the project names types the index must know.
        if (form_.ProjectWorkRunning() || form_.Indexing())
            return;
        // Closing asks and closes windows: that stays on the UI thread.
        if (!telvo::CloseProject(workbench_))
            return;
        TWorkbench& workbench = workbench_;
        form_.RunProjectWork([&workbench, path] { telvo::OpenProject(workbench, path); });
    }

    void SaveProject() override { telvo::SaveProject(workbench_); }
    bool CloseProject() override { return telvo::CloseProject(workbench_); }
    bool Exit() override { return ExitProjects(workbench_); }

private:
    // Runs window work on the UI thread. An error there goes back to the
    // lifecycle on the worker, which reports it like any other, instead of
    // escaping into the UI thread's event loop.
    template <typename F> void onUi(F&& work)
    {
        if (QThread::currentThread() == form_.thread()) {
            work();
            return;
        }
        std::exception_ptr error;
        QMetaObject::invokeMethod(
            &form_,
            [&] {
                try {
                    work();
                } catch (...) {
                    error = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (error)
            std::rethrow_exception(error);
    }

    TMainForm& form_;
    TWorkbench& workbench_;
};

} // namespace

std::string ProjectCommentOfStatus(const std::string& status)
{
    std::string text = status;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    const size_t bar = text.find('|');
    return bar == std::string::npos ? text : text.substr(bar + 1);
}

std::unique_ptr<TProjectCommands> MakeProjectCommands(TMainForm& form)
{
    return std::make_unique<TWorkbenchProjectCommands>(form);
}

} // namespace telvo

#include "ui/project_commands.h"

#include "ui/main_form.h"
#include "workbench/workbench.h"

namespace telvo {

namespace {

// Until the project model is in place the workbench holds no project: the
// commands say so instead of pretending to work.
class TWorkbenchProjectCommands final : public TProjectCommands {
public:
    explicit TWorkbenchProjectCommands(TMainForm& form) : form_(form) {}

    TProjectInfo Info() const override { return {}; }
    void NewProject() override { unavailable(); }
    void OpenProject(const std::string&) override { unavailable(); }
    void SaveProject() override {}
    void CloseProject() override {}

private:
    void unavailable() { form_.Workbench().UI().ShowMessage("Projects cannot be opened by this build yet."); }

    TMainForm& form_;
};

} // namespace

std::unique_ptr<TProjectCommands> MakeProjectCommands(TMainForm& form)
{
    return std::make_unique<TWorkbenchProjectCommands>(form);
}

} // namespace telvo

#pragma once
// The UML tool link over Umbrello. The project's model is an XMI file beside
// the project file; the workbench reads and writes it itself and starts
// Umbrello (`umbrello5`) on it as a separate process to show it, never
// waiting for it.

#include "model/project_manager.h"
#include "umlimport/uml_model.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace telvo::uml {

// A new model as Umbrello writes one: the four views, the stereotypes
// FunctionBlock and IndustrialProcessTerminator, and the class
// IndustrialProcessTerminator of stereotype Actor in the Logical View.
std::string NewModelText();
// Each adds to the model file (saved atomically) and returns false, leaving
// the file as it was, when the file is no XMI model.
bool AddUseCaseDiagram(const std::filesystem::path& file, const std::string& name);
bool AddInteractionDiagram(const std::filesystem::path& file, const std::string& name);
// A use case in the Use Case View, shown on the named use-case diagram when
// the model has one.
bool AddUseCase(const std::filesystem::path& file, const std::string& diagram, const std::string& name);

class TUmbrelloTool final : public TUmlToolLink {
public:
    TUmbrelloTool(TUserInterface& ui, std::string stereotypesPath);
    ~TUmbrelloTool() override;

    // Connected when the program can be found on the PATH.
    void Connect() override;
    void OpenModel(const std::string& file) override;
    void NewModel(const std::string& file) override;
    void SetStereotypesPath(const std::string& path) override { StereotypesPath = path; }
    void Shutdown() override;

    // Starts Umbrello on the model, placed and sized where the window
    // manager allows; does nothing while the one started before still runs.
    void Show(int left, int top, int width, int height);
    bool Showing();
    // Reads the model file again when it changed on disk since the last
    // read (Umbrello saved it); true when it was read.
    bool Refresh();

    bool Connected = false;
    std::string Program = "umbrello5";
    std::string StereotypesPath;
    std::string ModelFile;
    TUmlModel Model;

private:
    void read();

    TUserInterface& ui_;
    pid_t child_ = -1;
    std::filesystem::file_time_type readAt_{};
};

// Installs the Umbrello link as the project manager's UML tool.
void InstallUmbrelloTool(TProject_Manager& project, TUserInterface& ui);

} // namespace telvo::uml

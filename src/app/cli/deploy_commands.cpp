// telvo deploy FILE.crf --form xml|script|kalo [--send] [--out DIR]

#include "cli.h"

#include "deploy/command_set.h"
#include "deploy/deployment.h"
#include "deploy/device_connection.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"

#include <filesystem>
#include <optional>
#include <string>

namespace telvo::cli {

namespace {

// xml: every IEC device's command set, one after the other. xml --send: the
// Start run, printing what the deployment window shows; exits 1 when a
// device cannot be reached or drops the connection. script: the DUNEX
// output. kalo: one configuration file per OPC device in DIR (default: the
// program folder's KALO folder), printing each path.
int deploy(TCliContext& ctx)
{
    std::string file, form, outFolder;
    bool send = false, haveOut = false;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--send") {
            send = true;
        } else if (a == "--form" || a == "--out") {
            if (i + 1 >= ctx.Args.size())
                return UsageError(ctx, "deploy: " + a + (a == "--form" ? " needs xml, script or kalo" : " needs a folder"));
            (a == "--form" ? form : outFolder) = ctx.Args[++i];
            haveOut = haveOut || a == "--out";
        } else if (a.rfind("--", 0) == 0) {
            return UsageError(ctx, "deploy: unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return UsageError(ctx, "deploy takes one project file");
        }
    }
    if (file.empty())
        return UsageError(ctx, "deploy needs a project file");
    if (form != "xml" && form != "script" && form != "kalo")
        return UsageError(ctx, "deploy: --form must be xml, script or kalo");
    if (send && form != "xml")
        return UsageError(ctx, "deploy: --send goes with --form xml only");
    if (haveOut && form != "kalo")
        return UsageError(ctx, "deploy: --out goes with --form kalo only");
    if (haveOut && outFolder.empty())
        return UsageError(ctx, "deploy: --out needs a folder");

    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, file);
    TFB_Manager& fb = wb.FBManager();
    auto print = [&](const std::string& line) { ctx.Out << line << '\n'; };

    if (form == "xml" && !send) {
        TCommandSetGenerator run(fb);
        run.Form = TCommandForm::Xml;
        run.Output = print;
        for (const auto& object : wb.SystemLayer().Objects)
            if (auto* device = dynamic_cast<const TslIECDevice*>(object.get()))
                run.DeviceCommandSet(*device);
        return 0;
    }

    TPosixDeviceConnection connection;
    TDeploymentManager deployment(fb, ctx.UI, connection);
    deployment.OnLine = print;

    if (form == "xml") {
        deployment.Start();
        while (deployment.Running()) {
            // The device's lines and the messages on stderr keep their order.
            ctx.Out.flush();
            connection.WaitForOutcome();
        }
        return deployment.Failed() ? 1 : 0;
    }
    if (form == "script") {
        deployment.DunexOutput();
        return 0;
    }

    // kalo: the file names come from device names, which must not lead out
    // of the folder.
    const std::filesystem::path folder = haveOut ? std::filesystem::path(outFolder) : wb.KaloFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        ctx.Err << "telvo: cannot make the folder " << folder.string() << (ec ? ": " + ec.message() : "") << "\n";
        return 1;
    }
    deployment.OnLine = nullptr;
    int rc = 0;
    auto saved = deployment.MakeKaloConfiguration(
        [&](const std::filesystem::path&, const std::string& name) -> std::optional<std::filesystem::path> {
            if (name.find('/') != std::string::npos) {
                ctx.Err << "telvo: " << name << " cannot be a file name in " << folder.string()
                        << ": the device is not configured\n";
                rc = 1;
                return std::nullopt;
            }
            return folder / name;
        });
    for (const auto& path : saved)
        print(path.string());
    // A file that could not be written was told on stderr.
    size_t opcDevices = 0;
    for (const auto& object : wb.SystemLayer().Objects)
        opcDevices += dynamic_cast<const TslOPCDevice*>(object.get()) != nullptr;
    return saved.size() == opcDevices ? rc : 1;
}

TCliCommand reg{"deploy", "FILE.crf --form xml|script|kalo [--send] [--out DIR]", deploy,
                "Makes the devices' command sets of a project.\n"
                "  --form xml       every IEC device's command set in the XML form\n"
                "  --form script    the script form (DUNEX output)\n"
                "  --form kalo      one configuration file per OPC device\n"
                "  --send           with xml: send each command set to its device over TCP\n"
                "  --out DIR        with kalo: the folder for the files (default: the program's KALO folder)"};

} // namespace

} // namespace telvo::cli

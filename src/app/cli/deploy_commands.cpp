// telvo deploy FILE.crf --form xml|script|kalo [--send] [--out DIR]
// telvo deploy FILE.crf --target forte [--dry-run] [--replace] [--resource DEVICE=NAME]... [--id-base HOST:PORT]
// telvo device read FILE.crf DEVICE INSTANCE.PORT [--resource NAME]

#include "cli.h"

#include "deploy/command_set.h"
#include "deploy/deployment.h"
#include "deploy/device_connection.h"
#include "deploy/forte.h"
#include "deploy/text_escape.h"
#include "model/field_escape.h"
#include "model/file_util.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace telvo::cli {

namespace {

// xml: every IEC device's command set, one after the other. xml --send: the
// Start run, printing what the deployment window shows; exits 1 when a
// device cannot be reached or drops the connection. script: the DUNEX
// output. With --out, xml and script also write each device's set to
// DIR/DEVICE.xml or DIR/DEVICE.txt. kalo: one configuration file per OPC
// device in DIR (default: the workbench's KALO folder), printing each
// path. A project without a device for the form exits 1 and says so.
int deployForte(TCliContext& ctx);

int deploy(TCliContext& ctx)
{
    for (size_t i = 0; i + 1 < ctx.Args.size(); ++i)
        if (ctx.Args[i] == "--target")
            return deployForte(ctx);
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
    if (haveOut && send)
        return UsageError(ctx, "deploy: --out does not go with --send");
    if (haveOut && outFolder.empty())
        return UsageError(ctx, "deploy: --out needs a folder");

    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, file);
    TFB_Manager& fb = wb.FBManager();
    auto print = [&](const std::string& line) { ctx.Out << line << '\n'; };

    // The devices the form is for: IEC devices for xml, IEC and OPC devices
    // for script, OPC devices for kalo.
    std::vector<const TslDevice*> devices;
    for (const auto& object : wb.SystemLayer().Objects) {
        const bool iec = dynamic_cast<const TslIECDevice*>(object.get()) != nullptr;
        const bool opc = dynamic_cast<const TslOPCDevice*>(object.get()) != nullptr;
        if ((form == "xml" && iec) || (form == "script" && (iec || opc)) || (form == "kalo" && opc))
            devices.push_back(static_cast<const TslDevice*>(object.get()));
    }
    if (devices.empty()) {
        ctx.Err << "telvo: " << file << ": the project has no "
                << (form == "xml" ? "IEC device" : form == "script" ? "IEC or OPC device" : "OPC device")
                << " to deploy to\n";
        return 1;
    }

    std::filesystem::path folder;
    if (haveOut || form == "kalo") {
        folder = haveOut ? std::filesystem::path(outFolder) : wb.KaloFolder();
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec || !std::filesystem::is_directory(folder)) {
            ctx.Err << "telvo: cannot make the folder " << folder.string() << (ec ? ": " + ec.message() : "") << "\n";
            return 1;
        }
    }

    if (!send && form != "kalo") {
        // Each device's set is printed as it is made and, with --out, kept
        // for its file. The file names come from device names, which must
        // not lead out of the folder.
        TCommandSetGenerator run(fb);
        run.Form = form == "xml" ? TCommandForm::Xml : TCommandForm::Script;
        std::string text;
        run.Output = [&](const std::string& line) {
            print(line);
            text.append(line).append(1, '\n');
        };
        int rc = 0;
        for (const TslDevice* device : devices) {
            if (form == "script")
                print("Establishing communication with device :" + device->Name);
            text.clear();
            run.DeviceCommandSet(*device);
            if (!haveOut)
                continue;
            const std::string name = device->Name + (form == "xml" ? ".xml" : ".txt");
            if (device->Name.empty() || name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
                ctx.Err << "telvo: " << name << " cannot be a file name in " << folder.string()
                        << ": the set of the device is not written\n";
                rc = 1;
                continue;
            }
            try {
                WriteFileAtomic(folder / name, text, TWriteMode::Output);
            } catch (const std::exception& e) {
                ctx.Err << "telvo: " << e.what() << "\n";
                rc = 1;
            }
        }
        return rc;
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

    // kalo: the file names come from device names, which must not lead out
    // of the folder.
    deployment.OnLine = nullptr;
    deployment.KaloWrite = TWriteMode::Output;
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
    return saved.size() == devices.size() ? rc : 1;
}

// --target forte: the requests of every IEC device to the IEC 61499 runtime
// at its address and port, printed as they go (or only printed, with
// --dry-run); exits 1 when a device cannot be reached or refuses a request.
int deployForte(TCliContext& ctx)
{
    std::string file, target;
    bool dryRun = false, replace = false;
    TForteOptions options;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--replace") {
            replace = true;
        } else if (a == "--target" || a == "--resource" || a == "--id-base") {
            if (i + 1 >= ctx.Args.size())
                return UsageError(ctx, "deploy: " + a + " needs a value");
            const std::string& v = ctx.Args[++i];
            if (a == "--target") {
                target = v;
            } else if (a == "--id-base") {
                options.IdBase = v;
            } else {
                if (v.empty() || v.find_first_of(" \t,") != std::string::npos ||
                    !ParseResourceNames(v, options.Resources).empty())
                    return UsageError(ctx, "deploy: --resource takes DEVICE=NAME");
            }
        } else if (a.rfind("--", 0) == 0) {
            return UsageError(ctx, "deploy: unknown option " + a + " with --target");
        } else if (file.empty()) {
            file = a;
        } else {
            return UsageError(ctx, "deploy takes one project file");
        }
    }
    if (target != "forte")
        return UsageError(ctx, "deploy: --target must be forte");
    if (file.empty())
        return UsageError(ctx, "deploy needs a project file");

    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, file);
    std::vector<TForteDevicePlan> plans;
    try {
        plans = PlanForteDeployment(wb.FBManager(), options);
    } catch (const std::exception& e) {
        ctx.Err << "telvo: " << e.what() << "\n";
        return 2;
    }
    if (plans.empty()) {
        ctx.Err << "telvo: " << file << ": the project has no IEC device to deploy to\n";
        return 1;
    }
    if (dryRun) {
        for (const auto& plan : plans)
            for (const auto& request : plan.Requests)
                ctx.Out << ForteRequestLine(plan, request) << '\n';
        return 0;
    }
    TForteDeployment run;
    run.OnLine = [&](const std::string& line) {
        ctx.Out << line << '\n';
        ctx.Out.flush();
    };
    run.AllowReplace = [&](const std::string&, const std::string&) { return replace; };
    const std::string stopped = run.Run(plans);
    if (stopped.empty())
        return 0;
    ctx.Err << "telvo: " << stopped;
    if (!replace && stopped.find("refused <Request ID=\"1\" Action=\"CREATE\">") != std::string::npos)
        ctx.Err << " An earlier deployment may have left the resource: --replace removes it.";
    ctx.Err << "\n";
    return 1;
}

// telvo device read: one port of a deployed FB, read from the runtime.
int deviceRead(TCliContext& ctx)
{
    std::vector<std::string> positional;
    std::string resource;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--resource") {
            if (i + 1 >= ctx.Args.size())
                return UsageError(ctx, "device read: --resource needs a name");
            resource = ctx.Args[++i];
        } else if (a.rfind("--", 0) == 0) {
            return UsageError(ctx, "device read: unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3)
        return UsageError(ctx, "device read needs FILE.crf DEVICE INSTANCE.PORT");
    const std::string& file = positional[0];
    const std::string& deviceName = positional[1];
    const std::string& port = positional[2];
    if (port.find('.') == std::string::npos)
        return UsageError(ctx, "device read: " + port + " is not INSTANCE.PORT");

    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, file);
    const TslIECDevice* device = nullptr;
    for (const auto& object : wb.SystemLayer().Objects)
        if (auto* d = dynamic_cast<const TslIECDevice*>(object.get()); d && d->Name == deviceName)
            device = d;
    if (!device) {
        ctx.Err << "telvo: " << file << " has no IEC device " << deviceName << "\n";
        return 1;
    }
    TForteReadResult r = ForteRead(device->DeviceIPAddress, device->DeviceAddressPort,
                                   resource.empty() ? device->Name : resource, port);
    if (!r.Ok) {
        ctx.Err << "telvo: " << deviceName << ": " << port << " cannot be read: " << r.Error << "\n";
        return 1;
    }
    // The runtime's text: a line break or an ESC in it is printed escaped.
    ctx.Out << FieldEscaped(r.Value) << "\n";
    return 0;
}

TCliCommand reg{"deploy",
                "FILE.crf --form xml|script|kalo [--send] [--out DIR] | FILE.crf --target forte [--dry-run] "
                "[--replace] [--resource DEVICE=NAME]... [--id-base HOST:PORT]",
                deploy,
                "Makes the devices' command sets of a project, or deploys it to IEC 61499 runtimes.\n"
                "  --form xml       every IEC device's command set in the XML form\n"
                "  --form script    the script form (DUNEX output)\n"
                "  --form kalo      one configuration file per OPC device\n"
                "  --send           with xml: send each command set to its device over TCP\n"
                "  --out DIR        with xml or script: also write DIR/DEVICE.xml or DIR/DEVICE.txt per device;\n"
                "                   with kalo: the folder for the files (default: the program's KALO folder, the\n"
                "                   user's $XDG_DATA_HOME/telvo-zoze/KALO beside an installed program)\n"
                "                   a link there is written through to its file, but makes no new file\n"
                "  --target forte   deploy to the IEC 61499 runtime (4diac FORTE) at each IEC device's address\n"
                "  --dry-run        with forte: print the requests instead of sending them\n"
                "  --replace        with forte: kill and delete a resource an earlier deployment left\n"
                "  --resource DEVICE=NAME  with forte: the resource's name on that device (default: the device's);\n"
                "                   DEVICE must be an IEC device of the project\n"
                "  --id-base HOST:PORT     with forte: IPv4 address and port of the first publish/subscribe pair\n"
                "                   (default 239.0.0.1:61550; each further pair takes the next port, up to 65535)"};
TCliCommand regRead{"device read", "FILE.crf DEVICE INSTANCE.PORT [--resource NAME]", deviceRead,
                    "Reads one port of an FB deployed to an IEC 61499 runtime and prints its value, control\n"
                    "characters escaped (\\n, \\t, \\xHH); exits 1 when the runtime refuses or answers no value.\n"
                    "  --resource NAME  the resource on the device (default: the device's name)"};

} // namespace

} // namespace telvo::cli

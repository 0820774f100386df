// telvo deploy FILE.crf --form xml|script|kalo [--send] [--out DIR]
// telvo deploy FILE.crf --target forte [--dry-run] [--replace] [--resource DEVICE=NAME]... [--id-base HOST:PORT]
//                                     [--max-request BYTES]
// telvo device read FILE.crf DEVICE INSTANCE.PORT [--resource NAME]
// telvo device watch FILE.crf DEVICE INSTANCE.PORT... [--interval MS] [--count N] [--resource NAME]
// telvo device force FILE.crf DEVICE INSTANCE.PORT VALUE|--clear [--resource NAME]
// telvo device trigger FILE.crf DEVICE INSTANCE.EVENT [--reset] [--resource NAME]

#include "cli.h"

#include "model/value_text.h"

#include "deploy/command_set.h"
#include "deploy/deployment.h"
#include "deploy/device_connection.h"
#include "deploy/forte.h"
#include "deploy/text_escape.h"
#include "model/field_escape.h"
#include "model/file_util.h"
#include "model/fb_type.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <poll.h>
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
    options.MaxRequestBytes = ForteMaxRequestBytes(ctx.Workbench.Settings);
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--replace") {
            replace = true;
        } else if (a == "--target" || a == "--resource" || a == "--id-base" || a == "--max-request") {
            if (i + 1 >= ctx.Args.size())
                return UsageError(ctx, "deploy: " + a + " needs a value");
            const std::string& v = ctx.Args[++i];
            if (a == "--target") {
                target = v;
            } else if (a == "--id-base") {
                options.IdBase = v;
            } else if (a == "--max-request") {
                int32_t bytes = 0;
                if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos || !TryParseInteger(v, bytes) ||
                    bytes < 256)
                    return UsageError(ctx, "deploy: --max-request takes a number of bytes from 256 on");
                options.MaxRequestBytes = static_cast<size_t>(bytes);
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
        // The requests for a runtime that has the shipped types and lacks
        // the project's own; a real run asks each runtime first.
        int rc = 0;
        for (const auto& plan : plans) {
            ctx.Out << ForteRequestLine(plan, ForteTypeQuery()) << '\n';
            if (std::string refusal = ForteTypeRefusal(plan, {}, ForteOwnTypes(plan)); !refusal.empty()) {
                ctx.Err << "telvo: " << refusal << "\n";
                rc = 1;
                continue;
            }
            if (std::any_of(plan.Requests.begin(), plan.Requests.end(),
                            [](const TForteRequest& r) { return !r.LoadsType.empty(); }))
                ctx.Out << ForteRequestLine(plan, ForteTypeLoadProbe()) << '\n';
            for (const auto& request : plan.Requests)
                ctx.Out << ForteRequestLine(plan, request) << '\n';
        }
        return rc;
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

// The project's IEC device of that name, the project opened; none, and
// said so, when it has none.
const TslIECDevice* openIecDevice(TCliContext& ctx, const std::string& file, const std::string& deviceName)
{
    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, file);
    const TslIECDevice* device = nullptr;
    for (const auto& object : wb.SystemLayer().Objects)
        if (auto* d = dynamic_cast<const TslIECDevice*>(object.get()); d && d->Name == deviceName)
            device = d;
    if (!device)
        ctx.Err << "telvo: " << file << " has no IEC device " << deviceName << "\n";
    return device;
}

// The resource a device's FBs live in: the one named on the command line,
// else the one the project keeps for the device (an imported system's),
// else the device's own name.
std::string resourceOf(const TslIECDevice& device, const std::string& named)
{
    if (!named.empty())
        return named;
    return device.ResourceName.empty() ? device.Name : device.ResourceName;
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

    const TslIECDevice* device = openIecDevice(ctx, file, deviceName);
    if (!device)
        return 1;
    TForteReadResult r = ForteRead(device->DeviceIPAddress, device->DeviceAddressPort,
                                   resourceOf(*device, resource), port);
    if (!r.Ok) {
        ctx.Err << "telvo: " << deviceName << ": " << port << " cannot be read: " << r.Error << "\n";
        return 1;
    }
    // The runtime's text: a line break or an ESC in it is printed escaped.
    ctx.Out << FieldEscaped(r.Value) << "\n";
    return 0;
}

// The arguments of device watch, force and trigger: positional ones, and
// the options each takes. "--resource" is common to all.
struct TOnlineArgs {
    std::vector<std::string> Positional;
    std::string Resource;
    std::map<std::string, std::string> Values; // option: value
    std::set<std::string> Flags;
};

// Empty when the arguments parse, else the usage message.
std::string parseOnlineArgs(const TCliContext& ctx, const std::string& command, const std::set<std::string>& valued,
                            const std::set<std::string>& flags, TOnlineArgs& out)
{
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--resource" || valued.count(a)) {
            if (i + 1 >= ctx.Args.size())
                return command + ": " + a + " needs a value";
            (a == "--resource" ? out.Resource : out.Values[a]) = ctx.Args[++i];
        } else if (flags.count(a)) {
            out.Flags.insert(a);
        } else if (a.rfind("--", 0) == 0) {
            return command + ": unknown option " + a;
        } else {
            out.Positional.push_back(a);
        }
    }
    for (size_t i = 2; i < out.Positional.size(); ++i)
        if (out.Positional[i].find('.') == std::string::npos && !(command == "device force" && i == 3))
            return command + ": " + out.Positional[i] + " is not INSTANCE.PORT";
    return {};
}

// A connection to the device's resource with the time-outs device read
// has; false, and why, when the device cannot be reached.
bool connectOnline(const TslIECDevice& device, const std::string& resource, TForteOnline& online, std::string& why)
{
    constexpr int kTimeoutMs = 10000;
    online.Client.ConnectTimeoutMs = kTimeoutMs;
    online.Client.ReplyTimeoutMs = kTimeoutMs;
    online.Resource = resourceOf(device, resource);
    why = online.Client.Connect(device.DeviceIPAddress, device.DeviceAddressPort);
    return why.empty();
}

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int)
{
    interrupted = 1;
    // A second interrupt ends the program at once, watches left or not.
    std::signal(SIGINT, SIG_DFL);
}

// Waits `ms`, or less when interrupted.
void waitUnlessInterrupted(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!interrupted) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return;
        ::poll(nullptr, 0, static_cast<int>(left)); // an interrupt ends it early
    }
}

// telvo device watch: watches made, polled N times or until interrupted,
// and deleted again.
int deviceWatch(TCliContext& ctx)
{
    TOnlineArgs args;
    if (std::string wrong = parseOnlineArgs(ctx, "device watch", {"--interval", "--count"}, {}, args); !wrong.empty())
        return UsageError(ctx, wrong);
    if (args.Positional.size() < 3)
        return UsageError(ctx, "device watch needs FILE.crf DEVICE INSTANCE.PORT...");
    int32_t interval = 500, count = 0;
    if (auto v = args.Values.find("--interval");
        v != args.Values.end() && (!TryParseInteger(v->second, interval) || interval < 1 || interval > 3600000))
        return UsageError(ctx, "device watch: --interval takes milliseconds from 1 to 3600000");
    if (auto v = args.Values.find("--count"); v != args.Values.end() && (!TryParseInteger(v->second, count) || count < 1))
        return UsageError(ctx, "device watch: --count takes a number of polls from 1");
    const std::string& file = args.Positional[0];
    const std::string& deviceName = args.Positional[1];
    const std::vector<std::string> ports(args.Positional.begin() + 2, args.Positional.end());
    const TslIECDevice* device = openIecDevice(ctx, file, deviceName);
    if (!device)
        return 1;
    const std::string resource = resourceOf(*device, args.Resource);

    // Each port watched once, however often it is named.
    std::vector<TForteWatchSpec> watches;
    for (const std::string& port : ports) {
        if (std::any_of(watches.begin(), watches.end(), [&](const auto& w) { return w.InstancePort == port; }))
            continue;
        const TFortePort found = FindFortePort(ctx.Workbench.FBManager(), *device, port);
        watches.push_back({port, found.Data ? found.Data->Type : std::string(), found.Event});
    }
    // A longer answer would break the connection: refused before anything
    // is sent.
    if (const size_t bytes = ForteWatchAnswerBytes(resource, watches); bytes > kForteAnswerLimit) {
        ctx.Err << "telvo: " << deviceName << ": one poll of " << watches.size() << " ports may answer up to "
                << bytes << " bytes, more than the " << kForteAnswerLimit << " a runtime answer holds; the first "
                << ForteWatchesThatFit(resource, watches) << " fit\n";
        return 1;
    }

    TForteOnline online;
    std::string why;
    if (!connectOnline(*device, args.Resource, online, why)) {
        ctx.Err << "telvo: " << deviceName << ": cannot connect: " << why << "\n";
        return 1;
    }
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt; // no SA_RESTART: a wait ends at once
    struct sigaction before {};
    ::sigaction(SIGINT, &action, &before);

    int rc = 0;
    size_t made = 0;
    for (; made < watches.size(); ++made)
        if (std::string failed = online.Watch(watches[made].InstancePort); !failed.empty()) {
            ctx.Err << "telvo: " << deviceName << ": " << watches[made].InstancePort
                    << " cannot be watched: " << failed << "\n";
            rc = 1;
            break;
        }
    std::vector<TForteWatchValue> values;
    for (int polls = 0; rc == 0 && !interrupted && (count == 0 || polls < count); ++polls) {
        if (polls > 0) {
            waitUnlessInterrupted(interval);
            if (interrupted)
                break;
        }
        if (std::string failed = online.Poll(values); !failed.empty()) {
            ctx.Err << "telvo: " << deviceName << ": the watches cannot be read: " << failed << "\n";
            rc = 1;
            break;
        }
        for (const std::string& port : ports) {
            const size_t dot = port.find('.');
            for (const TForteWatchValue& v : values)
                if (v.FB == port.substr(0, dot) && v.Port == port.substr(dot + 1)) {
                    // The runtime's text: a line break or an ESC in it is
                    // printed escaped.
                    ctx.Out << port << '\t' << FieldEscaped(v.Value) << (v.Forced ? "\tforced" : "") << '\n';
                    break;
                }
        }
        ctx.Out.flush();
    }
    // The runtime keeps a watch until told: every one made goes, also after
    // an interrupt or a failed poll, until the connection itself fails.
    for (size_t i = 0; i < made; ++i)
        if (std::string failed = online.Watch(watches[i].InstancePort, false); !failed.empty()) {
            ctx.Err << "telvo: " << deviceName << ": the watch of " << watches[i].InstancePort
                    << " cannot be deleted: " << failed << "\n";
            rc = 1;
            if (!online.Refused)
                break;
        }
    ::sigaction(SIGINT, &before, nullptr);
    return rc;
}

// telvo device force: a port held at a value, or let go again.
int deviceForce(TCliContext& ctx)
{
    TOnlineArgs args;
    if (std::string wrong = parseOnlineArgs(ctx, "device force", {}, {"--clear"}, args); !wrong.empty())
        return UsageError(ctx, wrong);
    const bool clear = args.Flags.count("--clear") > 0;
    if (args.Positional.size() != (clear ? 3u : 4u))
        return UsageError(ctx, "device force needs FILE.crf DEVICE INSTANCE.PORT VALUE, or INSTANCE.PORT --clear");
    const std::string& file = args.Positional[0];
    const std::string& deviceName = args.Positional[1];
    const std::string& port = args.Positional[2];
    const TslIECDevice* device = openIecDevice(ctx, file, deviceName);
    if (!device)
        return 1;
    std::string literal;
    const TFortePort found = FindFortePort(ctx.Workbench.FBManager(), *device, port);
    if (!clear) {
        // Checked before anything is sent: the runtime would take a wrong
        // text as some value of its own making, or refuse it without
        // saying why.
        if (!found.Data) {
            ctx.Err << "telvo: " << deviceName << ": " << port << " is no data port of an FB on the device\n";
            return 1;
        }
        std::string wrong;
        literal = ForteForceLiteral(*found.Data, args.Positional[3], wrong);
        if (!wrong.empty()) {
            ctx.Err << "telvo: " << deviceName << ": " << port << ": " << FieldEscaped(wrong) << "\n";
            return 1;
        }
    }
    TForteOnline online;
    std::string failed;
    if (connectOnline(*device, args.Resource, online, failed))
        failed = clear ? online.ClearForce(port) : online.Force(port, literal);
    // The runtime lets the port go but keeps the forced value until
    // something writes it: an input fed by a constant gets the constant
    // again, as deployed.
    if (clear && failed.empty() && !found.Constant.empty())
        failed = online.Write(port, found.Constant);
    if (!failed.empty()) {
        ctx.Err << "telvo: " << deviceName << ": " << port << (clear ? " cannot be let go: " : " cannot be forced: ")
                << failed << "\n";
        return 1;
    }
    return 0;
}

// telvo device trigger: an event fired once by hand, or its count reset.
int deviceTrigger(TCliContext& ctx)
{
    TOnlineArgs args;
    if (std::string wrong = parseOnlineArgs(ctx, "device trigger", {}, {"--reset"}, args); !wrong.empty())
        return UsageError(ctx, wrong);
    if (args.Positional.size() != 3)
        return UsageError(ctx, "device trigger needs FILE.crf DEVICE INSTANCE.EVENT");
    const bool reset = args.Flags.count("--reset") > 0;
    const std::string& deviceName = args.Positional[1];
    const std::string& port = args.Positional[2];
    const TslIECDevice* device = openIecDevice(ctx, args.Positional[0], deviceName);
    if (!device)
        return 1;
    // An FB the project does not hold (a publish/subscribe FB of the
    // deployment) is left to the runtime to check.
    if (const TFortePort found = FindFortePort(ctx.Workbench.FBManager(), *device, port); found.Found && !found.Event) {
        ctx.Err << "telvo: " << deviceName << ": " << port << " is no event of " << found.Type->Name << "\n";
        return 1;
    }
    TForteOnline online;
    std::string failed;
    if (connectOnline(*device, args.Resource, online, failed))
        failed = online.Trigger(port, reset);
    if (!failed.empty()) {
        ctx.Err << "telvo: " << deviceName << ": " << port << (reset ? " cannot be reset: " : " cannot be triggered: ")
                << failed << "\n";
        return 1;
    }
    return 0;
}

TCliCommand reg{"deploy",
                "FILE.crf --form xml|script|kalo [--send] [--out DIR] | FILE.crf --target forte [--dry-run] "
                "[--replace] [--resource DEVICE=NAME]... [--id-base HOST:PORT] [--max-request BYTES]",
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
                "  --target forte   deploy to the IEC 61499 runtime (4diac FORTE) at each IEC device's address;\n"
                "                   each runtime is asked for its types first, and a basic type it lacks is\n"
                "                   sent as a Lua form under its name and a hash of the form (NAME_vHHHHHHH),\n"
                "                   which its FBs are then created with; a composite type it lacks goes as its\n"
                "                   inner network\n"
                "  --dry-run        with forte: print the requests instead of sending them, for runtimes that\n"
                "                   have the shipped types and lack the project's own\n"
                "  --replace        with forte: kill and delete a resource an earlier deployment left\n"
                "  --resource DEVICE=NAME  with forte: the resource's name on that device (default: the one the\n"
                "                   project keeps for it, from an imported system, else the device's);\n"
                "                   DEVICE must be an IEC device of the project\n"
                "  --id-base HOST:PORT     with forte: IPv4 address and port of the first publish/subscribe pair\n"
                "                   (default 239.0.0.1:61550; each further pair takes the next port, up to 65535)\n"
                "  --max-request BYTES     with forte: the longest request sent (default: ForteMaxRequestBytes of\n"
                "                   settings.ini, else 19000, below the 20000 bytes a runtime with Lua types\n"
                "                   takes); a type whose Lua form does not fit stops its device before anything\n"
                "                   is created"};
TCliCommand regRead{"device read", "FILE.crf DEVICE INSTANCE.PORT [--resource NAME]", deviceRead,
                    "Reads one port of an FB deployed to an IEC 61499 runtime and prints its value, control\n"
                    "characters escaped (\\n, \\t, \\xHH); exits 1 when the runtime refuses or answers no value.\n"
                    "  --resource NAME  the resource on the device (default: the one the project keeps for it, else the\n"
                    "                   device's name)"};
TCliCommand regWatch{"device watch",
                     "FILE.crf DEVICE INSTANCE.PORT... [--interval MS] [--count N] [--resource NAME]", deviceWatch,
                     "Watches ports of FBs deployed to an IEC 61499 runtime: prints one line per port per poll,\n"
                     "INSTANCE.PORT<TAB>VALUE for data (a third field \"forced\" on a forced port) and\n"
                     "INSTANCE.EVENT<TAB>COUNT for events, control characters escaped. Polls until interrupted\n"
                     "(Ctrl-C ends it cleanly, a second one at once); the watches are deleted at the end. Refuses,\n"
                     "saying how many fit, ports whose poll could answer more than a runtime answer holds.\n"
                     "  --interval MS    time between polls (default 500)\n"
                     "  --count N        stop after N polls\n"
                     "  --resource NAME  the resource on the device (default: the one the project keeps for it, else the\n"
                    "                   device's name)"};
TCliCommand regForce{"device force", "FILE.crf DEVICE INSTANCE.PORT VALUE | FILE.crf DEVICE INSTANCE.PORT --clear "
                                     "[--resource NAME]",
                     deviceForce,
                     "Forces a data input or output of an FB deployed to an IEC 61499 runtime to VALUE, checked\n"
                     "against the port's type in the project first; a forced input ignores its connection.\n"
                     "  --clear          let the port go again; an input the project gives a constant gets\n"
                     "                   that constant again\n"
                     "  --resource NAME  the resource on the device (default: the one the project keeps for it, else the\n"
                    "                   device's name)"};
TCliCommand regTrigger{"device trigger", "FILE.crf DEVICE INSTANCE.EVENT [--reset] [--resource NAME]", deviceTrigger,
                       "Fires an event input or output of an FB deployed to an IEC 61499 runtime once.\n"
                       "  --reset          set the event's count back to zero instead\n"
                       "  --resource NAME  the resource on the device (default: the one the project keeps for it, else the\n"
                    "                   device's name)"};

} // namespace

} // namespace telvo::cli

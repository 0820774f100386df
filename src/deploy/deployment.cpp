#include "deploy/deployment.h"

#include "deploy/device_connection.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "systemlayer/system_layer.h"

#include <cerrno>
#include <exception>

namespace telvo {

TDeploymentManager::TDeploymentManager(TFB_Manager& manager, TUserInterface& ui, TDeviceConnection& connection)
    : manager_(manager), ui_(ui), connection_(connection)
{
    connection_.OnConnected = [this](int errorCode) { connected(errorCode); };
}

TDeploymentManager::~TDeploymentManager()
{
    connection_.OnConnected = nullptr;
    if (running_)
        connection_.Close();
}

void TDeploymentManager::Append(const std::string& line)
{
    Lines.push_back(line);
    if (OnLine)
        OnLine(line);
}

void TDeploymentManager::Clear()
{
    Lines.clear();
    if (OnClear)
        OnClear();
}

// ---- Start -----------------------------------------------------------------

void TDeploymentManager::Start()
{
    Form = TCommandForm::Xml;
    Sending = true;
    ContinueAt = 0;
    failed_ = false;
    chain_ = std::make_unique<TCommandSetGenerator>(manager_);
    chain_->Form = TCommandForm::Xml;
    chain_->Output = [this](const std::string& line) {
        connection_.SendText(line);
        Append(" >" + line);
    };
    nextDevice();
}

void TDeploymentManager::nextDevice()
{
    TSystemLayerManager* layer = manager_.SystemLayer;
    TslIECDevice* device = nullptr;
    size_t at = ContinueAt;
    for (; layer && at < layer->Objects.size(); ++at)
        if ((device = dynamic_cast<TslIECDevice*>(layer->Objects[at].get())))
            break;
    if (!device) {
        finish(true);
        return;
    }
    CurrentDevice = device;
    ContinueAt = at + 1;
    Append("Establishing communication with device :" + device->Name);
    // An address or port that cannot be one is not tried: the user hears
    // what is wrong with it rather than that nothing answered there.
    const std::string wrong = TDeviceConnection::CheckEndpoint(device->DeviceIPAddress, device->DeviceAddressPort);
    if (!wrong.empty()) {
        connection_.Close();
        ui_.ShowMessage("Device " + device->Name + " cannot be reached: " + wrong + ".");
        failed_ = true;
        finish(false);
        return;
    }
    connection_.Close();
    connection_.SetAddress(device->DeviceIPAddress);
    connection_.SetPort(device->DeviceAddressPort);
    connection_.SetProtocol("tcp");
    running_ = true;
    connection_.Connect();
}

void TDeploymentManager::connected(int errorCode)
{
    if (!running_)
        return;
    running_ = false;
    TSystemLayerManager* layer = manager_.SystemLayer;
    // The window stays usable while a device answers: the device may have
    // been deleted meanwhile.
    if (!CurrentDevice || !layer || !layer->Contains(CurrentDevice)) {
        connection_.Close();
        failed_ = true;
        finish(false);
        return;
    }
    const std::string name = CurrentDevice->Name;
    if (errorCode != 0) {
        ui_.ShowMessage("Device " + name + " not found in specified address and port.");
        connection_.Close();
        failed_ = true;
        finish(false);
        return;
    }
    Append("Communication with " + name + " is established!");
    chain_->DeviceCommandSet(*CurrentDevice);
    // The set is handed over; the next device follows once it is on its way,
    // without waiting here for a slow device to take it.
    running_ = true;
    connection_.CloseWhenSent([this, name] { sent(name); });
}

void TDeploymentManager::sent(const std::string& name)
{
    if (!running_)
        return;
    running_ = false;
    if (const int error = connection_.SendError(); error != 0) {
        // The device has not got all of its set, and the run must not look
        // successful.
        if (error == ETIMEDOUT)
            ui_.ShowMessage("Device " + name + " stopped reading before its whole command set was sent.");
        else
            ui_.ShowMessage("Device " + name + " dropped the connection before its whole command set was sent.");
        failed_ = true;
        finish(false);
        return;
    }
    nextDevice();
}

void TDeploymentManager::finish(bool completed)
{
    running_ = false;
    chain_.reset();
    if (OnStartFinished)
        OnStartFinished(completed);
}

// ---- DUNEX output ----------------------------------------------------------

void TDeploymentManager::DunexOutput()
{
    Form = TCommandForm::Script;
    Sending = false;
    TCommandSetGenerator run(manager_);
    run.Form = TCommandForm::Script;
    run.Output = [this](const std::string& line) { Append(line); };
    TSystemLayerManager* layer = manager_.SystemLayer;
    if (!layer)
        return;
    for (const auto& object : layer->Objects) {
        auto* device = dynamic_cast<const TslDevice*>(object.get());
        if (!device)
            continue;
        CurrentDevice = device;
        // Nothing is connected here: the line only heads the device's set.
        Append("Establishing communication with device :" + device->Name);
        run.DeviceCommandSet(*device);
    }
}

// ---- KALO configuration ----------------------------------------------------

std::vector<std::filesystem::path> TDeploymentManager::MakeKaloConfiguration(const TSaveDialog& chooseFile)
{
    Form = TCommandForm::Xml;
    Sending = false;
    if (SaveFolder.empty())
        SaveFolder = manager_.Context.OutputFolder() / "KALO";
    std::vector<std::filesystem::path> saved;
    TCommandSetGenerator run(manager_);
    run.Form = TCommandForm::Xml;
    run.Output = [this](const std::string& line) { Append(line); };
    TSystemLayerManager* layer = manager_.SystemLayer;
    if (!layer)
        return saved;
    for (const auto& object : layer->Objects) {
        auto* device = dynamic_cast<const TslOPCDevice*>(object.get());
        if (!device)
            continue;
        CurrentDevice = device;
        Clear();
        Append("<!--Making KALO OPC configuration for device :" + device->Name + " -->");
        run.DeviceCommandSet(*device);

        std::optional<std::filesystem::path> file;
        if (chooseFile)
            file = chooseFile(SaveFolder, device->Name + "_KALOconfig.xml");
        if (!file)
            continue;
        std::string text;
        for (const auto& line : Lines)
            text.append(line).append(1, '\n');
        try {
            WriteFileAtomic(*file, text, KaloWrite);
        } catch (const std::exception& e) {
            ui_.ShowMessage(e.what());
            continue;
        }
        saved.push_back(*file);
        SaveFolder = file->parent_path();
    }
    return saved;
}

} // namespace telvo

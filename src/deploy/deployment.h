#pragma once
// The deployment window's three commands, without the window: Start sends
// each IEC device its XML command set over TCP, one device after the other;
// DUNEX output shows every device's command set in the script form; Make
// Configuration for KALO saves each OPC device's XML command set to a file.
// Every output and progress line goes to Lines, the window's text area; the
// window shows them as they come through OnLine and OnClear.

#include "deploy/command_set.h"
#include "model/file_util.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace telvo {

class TDeviceConnection;
class TFB_Manager;
class TUserInterface;
class TslDevice;
class TslIECDevice;

class TDeploymentManager {
public:
    // The project comes from the FB manager and the system layer it is
    // attached to; the connection is the window's one client connection.
    TDeploymentManager(TFB_Manager& manager, TUserInterface& ui, TDeviceConnection& connection);
    ~TDeploymentManager();
    TDeploymentManager(const TDeploymentManager&) = delete;
    TDeploymentManager& operator=(const TDeploymentManager&) = delete;

    // The text area, and the window's view of it.
    std::vector<std::string> Lines;
    std::function<void(const std::string& line)> OnLine;
    std::function<void()> OnClear;

    // The state each command sets before it starts.
    TCommandForm Form = TCommandForm::Xml;
    bool Sending = false;
    // The device being processed, and the place in the system layer's
    // Objects at which Start continues.
    const TslDevice* CurrentDevice = nullptr;
    size_t ContinueAt = 0;

    // Starts the chain and returns: each device is handled when the
    // connection reports its attempt (the window's event loop, or the
    // caller polling the connection). A failed connection ends the chain.
    void Start();
    // A Start chain is waiting for a connection attempt or for a command set
    // to go out.
    bool Running() const { return running_; }
    // The last Start chain stopped at a device (its message was shown).
    bool Failed() const { return failed_; }
    // Raised once when a Start chain ends; true when every IEC device got
    // its command set.
    std::function<void(bool completed)> OnStartFinished;

    void DunexOutput();

    // Asks where to save one OPC device's configuration: the folder the
    // dialog opens in and the proposed file name. No value: cancelled.
    using TSaveDialog = std::function<std::optional<std::filesystem::path>(const std::filesystem::path& folder,
                                                                           const std::string& proposedName)>;
    // The save dialog opens in the KALO folder the first time, then where
    // the last save went.
    std::filesystem::path SaveFolder;
    // How the configurations are written: a file the user chose in a dialog
    // is saved through links; the command line writes into a folder it was
    // given and makes no new file through a link (TWriteMode::Output).
    TWriteMode KaloWrite = TWriteMode::Save;
    // One configuration per OPC device, saved where the dialog says; returns
    // the files written.
    std::vector<std::filesystem::path> MakeKaloConfiguration(const TSaveDialog& chooseFile);

    void Append(const std::string& line);
    void Clear();

private:
    void nextDevice();
    void connected(int errorCode);
    void sent(const std::string& deviceName);
    void finish(bool completed);

    TFB_Manager& manager_;
    TUserInterface& ui_;
    TDeviceConnection& connection_;
    // The Start chain's run: one reading of each process-interface diagram
    // for all its devices.
    std::unique_ptr<TCommandSetGenerator> chain_;
    bool running_ = false;
    bool failed_ = false;
};

} // namespace telvo

#pragma once
// Plugs the OPC windows into the system layer editor: the OPC device
// properties window, and the "Add OPC FB:" / "Add KALO OPC FB:" panel of an
// OPC device's process-interface diagram window.

namespace telvo {

class TfrmDeviceFBIPPDiagram;

void InstallOpcWindows();
// Fills the OPC panel of one device diagram window (what the installed
// factory does; the tests call it directly).
void FillOpcPanel(TfrmDeviceFBIPPDiagram& window);

} // namespace telvo

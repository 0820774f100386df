#pragma once
// IEC 61499 system files in and out of the workbench.
//
// Import: one project from one .sys file. Each application becomes an FB
// network diagram (positions in the units composite type networks use:
// file value = grid value * 5.882 + 11.7647), each resource of a device an
// IEC device of the system layer (named after the device, or DEVICE.RESOURCE
// when the device has several resources; the resource's name kept in the
// device), each segment an IEC fieldbus, each link a system connection,
// the mapping the distribution, parameters constants. Untyped subapps are
// drawn flattened: an inner FB is named SUBAPP_FB (nested: OUTER_INNER_FB),
// and the connections to the subapp's ports join the inner ports behind
// them. Typed subapps become composite types. An FB name another
// application took already is prefixed with its application's name.
//
// Types come from the library, else from the .sys file's folder tree; those
// the library lacks are copied into library/SYSTEM. Every file is staged
// and moved in only when all are written: a failure leaves nothing behind.
//
// Export: DIR/NAME.sys in the newer generation and the project's own types
// beside it.

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace telvo {

class TWorkbench;

// An import or export that cannot be done; nothing was written.
class ESystemExchangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TSystemImport {
    // What is (or, on a dry run, would be) made, one record a line.
    std::vector<std::string> Listing;
    // Every element not carried over, and what else the import had to say.
    std::vector<std::string> Messages;
    std::vector<std::filesystem::path> Written;
    size_t Applications = 0, FBs = 0, Connections = 0, Devices = 0, Resources = 0, Mapped = 0;
};

// Imports `sysFile` into a new project at `projectFile` (which must not
// exist), with the types and library of the program folder. A dry run
// writes nothing. Throws ESystemExchangeError when the system cannot be
// read or the files cannot be written.
TSystemImport ImportSystem(const std::filesystem::path& programFolder, const std::string& sysFile,
                           const std::string& projectFile, bool dryRun);

struct TSystemExport {
    std::filesystem::path SystemFile;
    std::vector<std::filesystem::path> Written;
    std::vector<std::string> Messages;
};

// Exports the workbench's open project into `outDir`. Throws
// ESystemExchangeError when the files cannot be written.
TSystemExport ExportSystem(TWorkbench& workbench, const std::filesystem::path& outDir);

// Whether a name can be one entry of a folder: no separator, not "." or
// "..", not empty.
bool IsPlainEntryName(const std::string& name);

} // namespace telvo

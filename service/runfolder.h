#pragma once

#include <QTemporaryDir>

#include <memory>

// Private folders of the service's own user for the files of one run (OpenVPN's checked copy of
// its configuration): TEMP/vpn-service-PID-XXXXXX, 0700, gone with the run. The PID in the name
// lets a later service tell the folders of a killed one from those of one still running.
namespace RunFolder {

std::unique_ptr<QTemporaryDir> create();
// Removes the folders of service processes that no longer run. Returns how many.
int removeLeftovers();

} // namespace RunFolder

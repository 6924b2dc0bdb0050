// The commands of qvimager. Each opens the imager, does its work through the
// library's exports and closes it; an export that returns -1 ends it with
// ExportFailed, after the imager is closed again.
#pragma once

#include "command_line.h"
#include "os/interrupt_watch.h"

namespace qv::cli {

// The exit status: 0 done (failures are thrown, see export_check.h).
int RunCommand(const Invocation& invocation, os::InterruptWatch& watch);

int RunScan(const Invocation& invocation, os::InterruptWatch& watch);
int RunGet(const Invocation& invocation);
int RunSet(const Invocation& invocation);
int RunVersion(const Invocation& invocation);
int RunFactoryReset(const Invocation& invocation);
int RunTest(const Invocation& invocation);
int RunDemo(const Invocation& invocation, os::InterruptWatch& watch);

}  // namespace qv::cli

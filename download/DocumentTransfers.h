#pragma once
// The document's transfers: the monitor dialogue owns the port while it runs. With no port
// open nothing runs; otherwise the watcher is stopped first and started again afterwards,
// whatever happened; if it cannot be started, "Error starting comm thread!" and the port is
// closed.

#include <functional>
#include <string>

#include "ProgramLoader.h"
#include "RecordLoader.h"

class CTarvolineDoc;
struct CTransferContext;

// The rule every transfer follows around its dialogue; false (nothing run) without a port or,
// with a beep, while an opened document is being loaded.
bool WithWatcherStopped(CTarvolineDoc& doc,
                        const std::function<void(const CTransferContext&)>& transfer);

HexLoadOutcome TransferHexFile(CTarvolineDoc& doc, const std::string& path);
// True when the image was loaded and started.
bool TransferCpm68kFile(CTarvolineDoc& doc, const std::string& path);
// A file offered as a program, loaded by what it holds (ProgramFileLoad.h); Failed when no
// port is open.
ProgramLoadVerdict TransferProgramFile(CTarvolineDoc& doc, const std::string& path,
                                       bool rawHeader = false);
// A program already read, loaded and started as TransferProgramFile does; name names it.
ProgramLoadVerdict TransferProgramImage(CTarvolineDoc& doc,
                                        const tarvoline::postlink::ProgramImage& image,
                                        const std::string& name);

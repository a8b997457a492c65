#pragma once
// Loads a program read from a toolchain's file (postlink/program_image.h) into the board with
// the monitor's binary LOAD, one LOAD a run, and starts it as a CP/M-68K load file is started:
// 'G', or the staged start for a program below 0x40000. What goes where, and whether it can
// be started at all, is decided first (ProgramLoadPlan.h).

#include <string>

#include "postlink/program_image.h"

struct CTransferContext;

enum class ProgramLoadVerdict {
    Started,     // loaded and started at its entry
    NotStarted,  // loaded, not started; the message "Loaded NAME; not started: ..." was shown
    Failed,      // refused before anything was sent, or a dialogue failed; its message shown
};

// name: the program as the messages name it. Every failure has been told to the user, except
// a lost device, which the document reports.
ProgramLoadVerdict LoadProgramImage(const CTransferContext& ctx,
                                    const tarvoline::postlink::ProgramImage& image,
                                    const std::string& name);

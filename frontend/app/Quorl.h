// Quorl.h: KRVRepair's binding to the engine: one masked request per repair, and the
// callback that hands the engine's messages to the main window.
//
// libKRV.so is linked at build time, so the program does not start without it. Nothing
// of the engine is used but RepairEntry and its request, flags and message codes.
#ifndef KRV_FRONTEND_APP_QUORL_H
#define KRV_FRONTEND_APP_QUORL_H

#include "engine/job/RepairEntry.h"

#include <QString>

#include <cstdint>

class TTrelvMainForm;

// Fills a request in the order of the arguments, masks it and calls RepairEntry; returns
// the engine's result (1: something was recovered, 0: nothing).
int32_t CallRepairEngine(const char* sourcePath, const uint32_t* sizeLimit, uint32_t flags, const char* outputPath,
                         ProgressCallback callback, uintptr_t userData);

// The engine's callback. userData points to a cell that holds the main window; answers
// -1 when the window asks the engine to stop, else 0.
int32_t RepairProgressCallback(int32_t code, void* data, uintptr_t userData);

// Path of the loaded engine library and the version its file name carries
// ("libKRV.so.1.2.3" gives "1.2.3"; empty when it carries none).
struct EngineLibrary {
    QString path;
    QString version;
};
EngineLibrary LoadedEngineLibrary();

#endif

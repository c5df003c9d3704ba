// Quorl.cpp: the engine call and its callback.
#include "frontend/app/Quorl.h"

#include "frontend/framework/TrelvMain.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <dlfcn.h>

int32_t CallRepairEngine(const char* sourcePath, const uint32_t* sizeLimit, uint32_t flags, const char* outputPath,
                         ProgressCallback callback, uintptr_t userData)
{
    RepairRequest request{};
    request.sourcePath = sourcePath;
    request.sizeLimit = sizeLimit;
    request.flags = flags;
    request.outputPath = outputPath;
    request.callback = callback;
    request.userData = userData;
    KrvMaskRequest(&request);
    return RepairEntry(&request);
}

int32_t RepairProgressCallback(int32_t code, void* data, uintptr_t userData)
{
    TTrelvMainForm* form = *reinterpret_cast<TTrelvMainForm* const*>(userData);
    // Nothing may unwind through the engine's frames; a failing handler answers "go on".
    try {
        return form->OnMessage(code, data) ? -1 : 0;
    } catch (...) {
        return 0;
    }
}

EngineLibrary LoadedEngineLibrary()
{
    EngineLibrary library;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&RepairEntry), &info) == 0 || !info.dli_fname) return library;
    library.path = QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
    // The name the loader found may be a link to the versioned file.
    QString target = QFileInfo(library.path).canonicalFilePath();
    static const QRegularExpression versioned(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+)*)$"));
    QRegularExpressionMatch m = versioned.match(target.isEmpty() ? library.path : target);
    if (m.hasMatch()) library.version = m.captured(1);
    return library;
}

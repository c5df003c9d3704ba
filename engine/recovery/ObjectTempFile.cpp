// ObjectTempFile.cpp: making and filling the temporary file of an OLE object.
#include "engine/recovery/ObjectTempFile.h"

#include "engine/file/CFile64.h"

namespace krv {

std::optional<TempFile> MakeTempFileName() { return TempFile::Create(); }

bool WriteTempFile(const std::string& path, std::span<const uint8_t> bytes)
{
    CFile64 file;
    if (!file.Open(path, modeCreate | modeWrite | shareExclusive | typeBinary)) return false;
    try {
        file.Seek(0, seekBegin);
        file.Write(bytes.data(), bytes.size());
        file.Close();
    } catch (const CFileException&) {
        // The object is lost, not the message it belongs to.
        return false;
    }
    return true;
}

} // namespace krv

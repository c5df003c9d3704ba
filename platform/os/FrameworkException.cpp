// FrameworkException.cpp: descriptions of the framework's own exceptions.
#include "platform/os/FrameworkException.h"

#include "resources/StringTable.h"

namespace krv {

std::string CMemoryException::Description() const { return LoadString(StringId::TextOutOfMemory); }

std::string CNotSupportedException::Description() const { return LoadString(StringId::TextNotSupported); }

} // namespace krv

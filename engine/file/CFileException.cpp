// CFileException.cpp: building a file error from errno.
#include "engine/file/CFileException.h"

namespace krv {

CFileException CFileException::FromErrno(int err, std::string fileName)
{
    return CFileException(FileCauseFromErrno(err), err, std::move(fileName));
}

} // namespace krv

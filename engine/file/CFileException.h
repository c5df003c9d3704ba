// CFileException.h: a failed file operation, with its cause, errno and file name.
#ifndef KRV_ENGINE_FILE_CFILEEXCEPTION_H
#define KRV_ENGINE_FILE_CFILEEXCEPTION_H

#include "platform/os/FileError.h"
#include "platform/os/FrameworkException.h"

#include <string>

namespace krv {

class CFileException : public FrameworkException {
public:
    CFileException() = default;
    CFileException(FileCause cause, int osError, std::string fileName)
        : m_cause(cause), m_osError(osError), m_fileName(std::move(fileName))
    {}

    // Builds the exception for a failed call from its errno.
    static CFileException FromErrno(int err, std::string fileName);

    FileCause Cause() const { return m_cause; }
    int OsError() const { return m_osError; }
    const std::string& FileName() const { return m_fileName; }

    void Set(FileCause cause, int osError, std::string fileName)
    {
        m_cause = cause;
        m_osError = osError;
        m_fileName = std::move(fileName);
    }

    // The cause's text with the file name filled in.
    std::string Description() const override { return FileCauseText(m_cause, m_fileName); }

private:
    FileCause m_cause = FileCause::None;
    int m_osError = -1; // -1: no operating-system error behind it
    std::string m_fileName;
};

} // namespace krv

#endif

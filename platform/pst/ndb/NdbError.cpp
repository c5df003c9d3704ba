// NdbError.cpp: texts of the node database writer's failures.
#include "platform/pst/ndb/NdbError.h"

#include <cstring>

namespace krv::pst {
namespace {

const char* KindText(NdbErrc code)
{
    switch (code) {
    case NdbErrc::Ok:
        return "no error";
    case NdbErrc::FileExists:
        return "the file exists already";
    case NdbErrc::CannotCreate:
        return "the file cannot be created";
    case NdbErrc::WriteFailed:
        return "writing the file failed";
    case NdbErrc::FileTooLarge:
        return "the file would grow past the largest size of its layout";
    case NdbErrc::BadContent:
        return "the node content is not valid";
    case NdbErrc::NoSuchNode:
        return "no such node";
    case NdbErrc::Closed:
        return "the file is closed";
    }
    return "unknown error";
}

} // namespace

std::string NdbErrorText(const NdbError& error)
{
    std::string text = KindText(error.code);
    if (error.sysError != 0) text += std::string(": ") + std::strerror(error.sysError);
    if (!error.detail.empty()) text += " (" + error.detail + ")";
    return text;
}

} // namespace krv::pst

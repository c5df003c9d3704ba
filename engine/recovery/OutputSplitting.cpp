// OutputSplitting.cpp: follow-up file names and the marks reset between output files.
#include "engine/recovery/OutputSplitting.h"

#include "engine/items/NodeData.h"
#include "engine/items/ObjectClassification.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/PstReader.h"
#include "platform/mapi/ObjectTypes.h"

namespace krv {
namespace {

constexpr uint32_t kMessageStoreNid = 0x21;
constexpr uint32_t kNameToIdMapNid = 0x61;

// Where the extension's dot is, or npos when the path has no extension.
std::string::size_type ExtensionDot(const std::string& path)
{
    const std::string::size_type last = path.find_last_of("./\\:");
    return last != std::string::npos && path[last] == '.' ? last : std::string::npos;
}

} // namespace

void ResetForNextPart(PstReader& reader)
{
    for (const uint32_t nid : {kMessageStoreNid, kNameToIdMapNid})
        if (PstNode* node = reader.Nodes().FindCurrent(nid)) SetUsedMark(*node, 0);
    reader.Nodes().ForEach([](uint32_t nid, PstNodeMap::Versions& versions) {
        if (ObjectTypeFromNid(nid) != MAPI_FOLDER) return;
        for (auto& version : versions)
            if (version) SetUsedMark(*version, 0);
    });
}

std::string SplitPartName(const std::string& path, uint32_t index)
{
    return PathStem(path) + "_" + std::to_string(index) + PathExtension(path);
}

std::string PathStem(const std::string& path)
{
    const std::string::size_type dot = ExtensionDot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string PathExtension(const std::string& path)
{
    const std::string::size_type dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

} // namespace krv

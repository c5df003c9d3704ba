// NodeStrings.h: a node's string property as 8-bit text, whichever string form it is stored in.
#ifndef KRV_ENGINE_ITEMS_NODESTRINGS_H
#define KRV_ENGINE_ITEMS_NODESTRINGS_H

#include <cstdint>
#include <string>

namespace krv {

class PstNode;

// The property `propId` of a property-context node: its PT_STRING8 form as stored, else
// its PT_UNICODE form converted to the ANSI code page; empty when the node is no PC or has
// neither form.
std::string GetNodeString(const PstNode& node, uint16_t propId);

// PR_DISPLAY_NAME (0x3001) of the node.
std::string GetNodeDisplayName(const PstNode& node);

} // namespace krv

#endif

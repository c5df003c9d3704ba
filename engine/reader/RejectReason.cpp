// RejectReason.cpp: the stable names of the rejection reasons.
#include "engine/reader/RejectReason.h"

#include <array>

namespace krv {

namespace {

// In enum order; the static_assert keeps the two the same length.
constexpr std::array<std::string_view, kRejectReasonCount> kNames = {
    "block-missing",
    "block-short-read",
    "internal-block-header",
    "data-tree-depth",
    "data-tree-entry",
    "xxblock-child",
    "subnode-tree-bid",
    "subnode-tree-loop",
    "subnode-tree-btype",
    "subnode-tree-level",
    "subnode-tree-depth",
    "page-short-read",
    "page-counts",
    "page-entry",
    "header-missing",
    "node-size-clipped",
    "node-size-too-large",
    "subnode-loop",
    "subnode-depth",
    "subnode-budget",
    "heap-too-short",
    "heap-client",
    "heap-user-root",
    "heap-alloc-index",
    "heap-page-map",
    "heap-alloc-range",
    "bth-header",
    "bth-record-size",
    "pc-shape",
    "pc-too-many",
    "tcinfo-short",
    "tcinfo-columns",
    "tc-row-index",
    "tc-row-layout",
    "tc-column",
    "tc-row-matrix",
    "tc-row-budget",
    "value-short",
    "value-hnid-kind",
    "value-subnode",
    "value-type",
    "mv-count",
    "mv-offset",
    "block-inflate",
};
static_assert(kNames.back() == "block-inflate", "one name per reason, in enum order");

} // namespace

std::string_view RejectReasonName(RejectReason reason)
{
    const auto index = static_cast<size_t>(reason);
    return index < kNames.size() ? kNames[index] : std::string_view("unknown");
}

std::optional<RejectReason> RejectReasonOfName(std::string_view name)
{
    for (size_t i = 0; i < kNames.size(); ++i)
        if (kNames[i] == name) return static_cast<RejectReason>(i);
    return std::nullopt;
}

} // namespace krv

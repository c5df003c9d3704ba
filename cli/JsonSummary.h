// JsonSummary.h: one source's summary as a single line of JSON, for scripts that collect
// the results of many runs.
//
//   {"source":"a.pst","output":"a_fixed.pst","outputs":[{"path":"a_fixed.pst","bytes":271360}],
//    "layout":"unicode","items":112,"folders":7,"messages":100,"wrapped_attachments":5,
//    "errors":[],"alerts":[],"stopped":false,"exit_code":0,"seconds":1.25,
//    "options":{"fast_scan":true,...,"methods":[1,2,3,4,5],"source_format":"auto","format":"auto"}}
#ifndef KRV_CLI_JSONSUMMARY_H
#define KRV_CLI_JSONSUMMARY_H

#include "cli/RepairSummary.h"

#include <string>
#include <string_view>

namespace krv::cli {

std::string SummaryJson(const RepairSummary& summary);

} // namespace krv::cli

#endif

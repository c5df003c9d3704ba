// RecordedMessage.h: a callback that records what the engine sends, for assertions.
#ifndef KRV_TESTS_JOB_RECORDEDMESSAGE_H
#define KRV_TESTS_JOB_RECORDEDMESSAGE_H

#include "engine/job/RepairEntry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv::test {

struct RecordedMessage {
    int32_t code;
    int64_t number; // progress percent or item count; -1 for texts
    std::string text;
};

struct Recorder {
    std::vector<RecordedMessage> messages;
    int32_t abortAnswer = 0;
    // From this abort query on (1 = the first) the answer is "stop"; 0 never.
    int64_t stopFromQuery = 0;
    int64_t abortQueries = 0;

    static int32_t Callback(int32_t code, void* data, uintptr_t userData)
    {
        auto& self = *reinterpret_cast<Recorder*>(userData);
        RecordedMessage m{code, -1, {}};
        switch (code) {
        case MsgProgress:
            m.number = *static_cast<const uint8_t*>(data);
            break;
        case MsgItemCount:
            m.number = *static_cast<const uint32_t*>(data);
            break;
        case MsgAbortQuery:
        case MsgCloseRequest:
            break;
        default:
            m.text = static_cast<const char*>(data);
            break;
        }
        self.messages.push_back(m);
        if (code != MsgAbortQuery) return 0;
        ++self.abortQueries;
        if (self.stopFromQuery > 0 && self.abortQueries >= self.stopFromQuery) return 1;
        return self.abortAnswer;
    }

    std::vector<int32_t> Codes() const
    {
        std::vector<int32_t> codes;
        for (const auto& m : messages) codes.push_back(m.code);
        return codes;
    }
};

} // namespace krv::test

#endif

#pragma once
// The sequential query engine: sends Push system-exclusive queries one at a time, each after a
// reply to the one before. Replies are not matched to queries: any Push reply answers the query
// in flight. It has no time-out of its own; each caller arms one.

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "core/MIDIMessage.h"
#include "corvane_diag/CommandRun.h"
#include "hardware/MIDIDevicePort.h"

namespace corvane {

class AbletonQuery {
public:
    using ReplyHandler = std::function<void(const Bytes& body)>;

    // Opens the Live Port (without waiting: "Push Live Port not found" ends the command with 1),
    // sends every body of `before`, then the first query; `done` runs right after the reply to
    // the last query, or at once when there are none. Null when the command ended.
    static std::unique_ptr<AbletonQuery> start(CommandRun& run, std::vector<Bytes> queries,
                                               ReplyHandler onReply, std::function<void()> done,
                                               std::vector<Bytes> before = {});

    AbletonQuery(const AbletonQuery&) = delete;
    AbletonQuery& operator=(const AbletonQuery&) = delete;

    MIDIDevicePort& port() const { return *port_; }

private:
    AbletonQuery(CommandRun& run, ReplyHandler onReply, std::function<void()> done,
                 std::vector<Bytes> queries);
    void received(const Bytes& body);
    void sendNext();

    CommandRun& run_;
    ReplyHandler onReply_;
    std::function<void()> done_;
    std::deque<Bytes> remaining_;
    std::shared_ptr<MIDIDevicePort> port_;
};

}  // namespace corvane

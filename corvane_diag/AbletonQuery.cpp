#include "corvane_diag/AbletonQuery.h"

#include "corvane_diag/PushPort.h"

namespace corvane {

AbletonQuery::AbletonQuery(CommandRun& run, ReplyHandler onReply, std::function<void()> done,
                           std::vector<Bytes> queries)
    : run_(run),
      onReply_(std::move(onReply)),
      done_(std::move(done)),
      remaining_(queries.begin(), queries.end()) {}

std::unique_ptr<AbletonQuery> AbletonQuery::start(CommandRun& run, std::vector<Bytes> queries,
                                                  ReplyHandler onReply, std::function<void()> done,
                                                  std::vector<Bytes> before) {
    std::unique_ptr<AbletonQuery> engine(
        new AbletonQuery(run, std::move(onReply), std::move(done), std::move(queries)));
    // The engine outlives every delivery: the command keeps it until it ends, and deliveries
    // stop when it has.
    AbletonQuery* self = engine.get();
    engine->port_ =
        openPushNow(run, receivePath<Bytes>(run, pushBody, [self](Bytes body) { self->received(body); }));
    if (!engine->port_) return nullptr;
    for (const Bytes& body : before) sendBody(*engine->port_, body);
    engine->sendNext();
    return engine;
}

void AbletonQuery::received(const Bytes& body) {
    onReply_(body);
    if (!run_.finished()) sendNext();
}

void AbletonQuery::sendNext() {
    if (remaining_.empty()) {
        done_();
        return;
    }
    Bytes body = std::move(remaining_.front());
    remaining_.pop_front();
    sendBody(*port_, body);
}

}  // namespace corvane

#pragma once
// What every whole-run operation (reduction, conversion, preprocessing, cell
// refinement, CIF, ...) is handed besides its request: a place to report how
// far it has come and to hear a stop, and a place for its messages.  The
// window, the script backend, the batch line and library users each supply
// their own.

#include "core/messages.h"

namespace tarnivox {

// Reports how far a whole-run operation has come, and carries a stop asked for from outside
// (a Stop button, SIGINT) to the next reflection.
struct Progress {
    virtual ~Progress() = default;
    virtual void advance(int done, int total) {
        (void)done;
        (void)total;
    }  // total 0: unknown
    virtual bool stop_requested() const { return false; }
};

// Receives the operation's messages (information, notices, errors) with the program's titles and texts.
struct Messages {
    virtual ~Messages() = default;
    virtual void message(const Message& m) = 0;
};

// Routes the core message sink to `m` for the lifetime of the guard (restores the previous sink).
class MessageRoute {
public:
    explicit MessageRoute(Messages& m);
    ~MessageRoute();
    MessageRoute(const MessageRoute&) = delete;
    MessageRoute& operator=(const MessageRoute&) = delete;

private:
    MessageSink previous_;
};

// Keeps the messages in order, for callers that read them after the run.
struct MessageList : Messages {
    std::vector<Message> all;
    void message(const Message& m) override { all.push_back(m); }
};

}  // namespace tarnivox

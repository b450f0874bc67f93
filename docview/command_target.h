// Something that handles commands by id: a view, the document, the frame or the application.
// Each target keeps a table of handlers; registering one is one line in its constructor.
#pragma once

#include <functional>
#include <unordered_map>

class CommandTarget {
public:
    CommandTarget() = default;
    virtual ~CommandTarget() = default;
    CommandTarget(const CommandTarget&) = delete;
    CommandTarget& operator=(const CommandTarget&) = delete;

    // Runs the handler of command `id`; true when this target has one.
    virtual bool OnCommand(unsigned id);
    bool HandlesCommand(unsigned id) const;

protected:
    void MapCommand(unsigned id, std::function<void()> handler);
    // One handler for the ids first..last; it receives the id.
    void MapCommandRange(unsigned first, unsigned last, const std::function<void(unsigned)>& handler);

private:
    std::unordered_map<unsigned, std::function<void(unsigned)>> handlers_;
};

// Command routing of the frame: the active view first, then the document, the frame and the
// application (the framework's route), then every other view of the document in turn, until
// one target handles the command. So each pane receives its commands whichever pane has the
// focus.
#pragma once

class CommandTarget;
class Document;
class View;

struct CommandRoute {
    View* activeView = nullptr;
    Document* document = nullptr;
    CommandTarget* frame = nullptr;
    CommandTarget* application = nullptr;
};

// True when some target handled command `id`.
bool RouteCommand(unsigned id, const CommandRoute& route);

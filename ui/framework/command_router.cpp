#include "ui/framework/command_router.h"

#include "docview/document.h"
#include "docview/view.h"

#include <vector>

bool RouteCommand(unsigned id, const CommandRoute& route) {
    CommandTarget* const framework[] = {route.activeView, route.document, route.frame, route.application};
    for (CommandTarget* target : framework) {
        if (target && target->OnCommand(id)) return true;
    }
    if (!route.document) return false;
    // A handler may add or remove views; offer the command to the views as they were.
    const std::vector<View*> views = route.document->Views();
    for (View* view : views) {
        if (view != route.activeView && view->OnCommand(id)) return true;
    }
    return false;
}

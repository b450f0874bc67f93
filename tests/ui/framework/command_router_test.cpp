#include "ui/framework/command_router.h"
#include "docview/document.h"
#include "docview/view.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// A target that handles the commands it is given and logs every offer.
class Target : public View {
public:
    Target(std::string name, std::vector<std::string>* offers) : name_(std::move(name)), offers_(offers) {}
    bool OnCommand(unsigned id) override {
        offers_->push_back(name_);
        return handles.contains(id);
    }
    std::set<unsigned> handles;

private:
    std::string name_;
    std::vector<std::string>* offers_;
};

class RecordingDocument : public Document {
public:
    explicit RecordingDocument(std::vector<std::string>* offers) : offers_(offers) {}
    bool OnCommand(unsigned id) override {
        offers_->push_back("doc");
        return handles.contains(id);
    }
    std::set<unsigned> handles;

private:
    std::vector<std::string>* offers_;
};

}  // namespace

TEST(CommandRouting, OffersTheCommandAlongTheRouteUntilOneHandlesIt) {
    struct Case {
        const char* handler;  // the one target that handles command 1
        std::vector<std::string> offers;
    };
    // Views in the document: tree, list, events; the list is active.
    const Case cases[] = {
        {"list", {"list"}},
        {"doc", {"list", "doc"}},
        {"frame", {"list", "doc", "frame"}},
        {"app", {"list", "doc", "frame", "app"}},
        {"tree", {"list", "doc", "frame", "app", "tree"}},
        {"events", {"list", "doc", "frame", "app", "tree", "events"}},
        {"nobody", {"list", "doc", "frame", "app", "tree", "events"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handler);
        std::vector<std::string> offers;
        RecordingDocument doc(&offers);
        Target tree("tree", &offers), list("list", &offers), events("events", &offers);
        Target frame("frame", &offers), app("app", &offers);
        doc.AddView(&tree);
        doc.AddView(&list);
        doc.AddView(&events);
        const std::string handler = c.handler;
        if (handler == "doc") doc.handles.insert(1);
        const std::map<std::string, Target*> targets = {
            {"tree", &tree}, {"list", &list}, {"events", &events}, {"frame", &frame}, {"app", &app}};
        if (targets.contains(handler)) targets.at(handler)->handles.insert(1);

        const bool handled = RouteCommand(1, {&list, &doc, &frame, &app});

        EXPECT_EQ(handled, handler != "nobody");
        EXPECT_EQ(offers, c.offers);
    }
}

TEST(CommandRouting, WithoutActiveViewEveryViewIsOfferedAfterTheFrameworkRoute) {
    std::vector<std::string> offers;
    RecordingDocument doc(&offers);
    Target tree("tree", &offers), list("list", &offers);
    doc.AddView(&tree);
    doc.AddView(&list);
    list.handles.insert(7);

    EXPECT_TRUE(RouteCommand(7, {nullptr, &doc, nullptr, nullptr}));
    EXPECT_EQ(offers, (std::vector<std::string>{"doc", "tree", "list"}));
}

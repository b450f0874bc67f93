// Shared pieces of the document tests: a project folder with its own OPC.cfg, recorders for
// events, status texts, hints, prompts and the wait UI, and builders for project trees.
#pragma once

#include "docview/document_prompts.h"
#include "docview/view.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "persistence/project_codec.h"
#include "platform/config/opc_config.h"
#include "platform/shell/shell.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/event_recorder.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakePrompts : public DocumentPrompts {
public:
    Answer AskSaveChanges(const std::string&) override { return Answer::No; }
    std::string AskSavePath(const std::string&) override { return savePath; }
    void ShowError(const std::string& text) override { errors.push_back(text); }

    std::string savePath;
    std::vector<std::string> errors;
};

class HintRecorder : public View {
public:
    struct Hint {
        int hint;
        void* object;
    };
    void OnUpdate(int hint, void* object) override {
        hints.push_back({hint, object});
        if (onHint) onHint(hint, object);
    }
    std::vector<int> Numbers() const {
        std::vector<int> numbers;
        for (const Hint& h : hints) numbers.push_back(h.hint);
        return numbers;
    }
    std::vector<Hint> hints;
    std::function<void(int, void*)> onHint;
};

class WaitUiRecorder : public DocumentWaitUi {
public:
    explicit WaitUiRecorder(const CVDocument& document) : document_(document) {}
    void ShowCursor(Cursor cursor) override { shown.push_back(cursor); }
    void RestoreCursor() override { ++restored; }
    void ProcessEvents() override {
        ++pumps;
        if (document_.IsBusy()) ++pumpsWhileBusy;
        if (onPump) onPump();
    }

    std::vector<Cursor> shown;
    int restored = 0;
    int pumps = 0;
    int pumpsWhileBusy = 0;
    std::function<void()> onPump;

private:
    const CVDocument& document_;
};

// A document in a fresh folder that also holds OPC.cfg, with recorders attached.
class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFolderForTesting(folder.path());
        document.SetPrompts(&prompts);
        document.AddView(&view);
    }
    void TearDown() override {
        document.RemoveView(&view);
        document.DeleteContents();
        SetProgramFolderForTesting("");
    }

    std::string Path(const std::string& name) const { return folder / name; }

    void WriteProject(const std::string& path, const ProjectRecord& project) const {
        const std::vector<std::uint8_t> bytes = EncodeProject(project);
        TempFolder::Write(path, std::string(bytes.begin(), bytes.end()));
    }
    static ProjectRecord ReadProject(const std::string& path) {
        const std::string text = TempFolder::Read(path);
        ProjectRecord project;
        EXPECT_EQ(DecodeProject(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), project),
                  ProjectLoadError::None)
            << path;
        return project;
    }

    // Builds in code, newest at the head as the commands do.
    CVServer* AddServer(const std::string& progId) {
        auto* server = new CVServer();
        server->progId = progId;
        document.AddNewServer(server);
        return server;
    }
    static CVGroup* AddGroup(CVServer* server, const std::string& name) {
        auto* group = new CVGroup(server);
        group->SetName(name);
        server->LinkGroup(group);
        return group;
    }
    static CVItem* AddItem(CVGroup* group, const std::string& itemId) {
        auto* item = new CVItem(group);
        item->itemId = itemId;
        group->LinkItem(item);
        CItemAddressRegistry::Instance().Register(item);
        return item;
    }
    static std::vector<std::string> ItemIds(const CVGroup* group) {
        std::vector<std::string> ids;
        for (const CVItem* item = group->FirstItem(); item; item = item->next) ids.push_back(item->itemId);
        return ids;
    }
    static int AddressOf(const std::string& itemId) { return CItemAddressRegistry::Instance().AddressOf(itemId); }

    TempFolder folder;
    EventRecorder recorder;
    CVDocument document{CItemAddressRegistry::Instance()};
    FakePrompts prompts;
    HintRecorder view;
};

// Every list of the project reversed, as a load gives it back.
inline ProjectRecord Reversed(ProjectRecord project) {
    std::reverse(project.servers.begin(), project.servers.end());
    for (ServerRecord& server : project.servers) {
        std::reverse(server.groups.begin(), server.groups.end());
        for (GroupRecord& group : server.groups) std::reverse(group.items.begin(), group.items.end());
    }
    return project;
}

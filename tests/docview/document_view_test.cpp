#include "docview/document.h"
#include "docview/view.h"
#include "platform/strings/command_ids.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Update {
    std::string view;
    int hint;
    void* object;
    bool operator==(const Update&) const = default;
};

class RecordingView : public View {
public:
    RecordingView(std::string name, std::vector<Update>* log) : name_(std::move(name)), log_(log) {}
    void OnUpdate(int hint, void* object) override {
        log_->push_back({name_, hint, object});
        if (onUpdate) onUpdate();
    }
    std::function<void()> onUpdate;

private:
    std::string name_;
    std::vector<Update>* log_;
};

class FakePrompts : public DocumentPrompts {
public:
    Answer AskSaveChanges(const std::string& title) override {
        asked.push_back(title);
        return answer;
    }
    std::string AskSavePath(const std::string& suggested) override {
        suggestions.push_back(suggested);
        return savePath;
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }

    Answer answer = Answer::Cancel;
    std::string savePath;
    std::vector<std::string> asked, suggestions, errors;
};

std::string ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
}

void WriteFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace

TEST(DocumentViews, UpdateReachesEveryViewButTheSenderInRegistrationOrder) {
    std::vector<Update> log;
    Document doc;
    RecordingView tree("tree", &log), list("list", &log), events("events", &log);
    doc.AddView(&tree);
    doc.AddView(&list);
    doc.AddView(&events);
    doc.AddView(&list);  // registering twice keeps one entry
    int object = 0;

    doc.UpdateAllViews(nullptr, 1000, &object);
    doc.UpdateAllViews(&list, 1042, nullptr);

    const std::vector<Update> expected = {{"tree", 1000, &object},
                                          {"list", 1000, &object},
                                          {"events", 1000, &object},
                                          {"tree", 1042, nullptr},
                                          {"events", 1042, nullptr}};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(tree.GetDocument(), &doc);
}

TEST(DocumentViews, DestroyedViewLeavesTheDocumentAndDocumentReleasesItsViews) {
    std::vector<Update> log;
    RecordingView survivor("survivor", &log);
    {
        Document doc;
        doc.AddView(&survivor);
        {
            RecordingView gone("gone", &log);
            doc.AddView(&gone);
        }
        ASSERT_EQ(doc.Views().size(), 1u);
        doc.UpdateAllViews(nullptr, 1063, nullptr);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].view, "survivor");
    }
    EXPECT_EQ(survivor.GetDocument(), nullptr);
}

TEST(DocumentViews, ViewRemovedDuringAnUpdateIsNotCalledAfterwards) {
    std::vector<Update> log;
    Document doc;
    RecordingView first("first", &log);
    auto second = std::make_unique<RecordingView>("second", &log);
    doc.AddView(&first);
    doc.AddView(second.get());
    first.onUpdate = [&] { second.reset(); };

    doc.UpdateAllViews(nullptr, 1061, nullptr);

    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].view, "first");
}

TEST(DocumentTitle, PathGivesTheTitleAndTheObserverHearsEveryChange) {
    Document doc;
    EXPECT_EQ(doc.Title(), Document::kUntitled);
    int changes = 0;
    doc.SetTitleObserver([&] { ++changes; });
    doc.SetPathName("/home/op/plant/line 1.ovopc");
    EXPECT_EQ(doc.Title(), "line 1.ovopc");
    doc.SetTitle("line 1.ovopc *");
    EXPECT_EQ(changes, 2);
    doc.OnNewDocument();
    EXPECT_EQ(doc.Title(), Document::kUntitled);
    EXPECT_EQ(doc.PathName(), "");
}

TEST(DocumentFiles, OpenThenSaveWritesTheSameBytesBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("plant.ovopc");
    const std::string bytes("\x01\x00\x00\x00\xff\x2c\x01", 7);
    WriteFile(path, bytes);
    FakePrompts prompts;
    Document doc;
    doc.SetPrompts(&prompts);

    ASSERT_TRUE(doc.OnOpenDocument(path.toStdString()));
    EXPECT_FALSE(doc.IsModified());
    WriteFile(path, "overwritten");
    doc.SetPathName(path.toStdString());
    doc.SetModifiedFlag(true);
    ASSERT_TRUE(doc.OnCommand(ID_FILE_SAVE));

    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(prompts.errors.empty());
}

TEST(DocumentFiles, FailuresAreReportedAndLeaveTheDocumentAsItWas) {
    QTemporaryDir dir;
    FakePrompts prompts;
    Document doc;
    doc.SetPrompts(&prompts);

    EXPECT_FALSE(doc.OnOpenDocument(dir.filePath("missing.ovopc").toStdString()));
    EXPECT_EQ(prompts.errors.size(), 1u);

    doc.SetModifiedFlag(true);
    EXPECT_FALSE(doc.DoSave(dir.filePath("no/such/folder/x.ovopc").toStdString()));
    EXPECT_EQ(prompts.errors.size(), 2u);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.PathName(), "");
}

TEST(DocumentFiles, SaveAsSuggestsTheTitleWithoutModifiedMarkAndTakesTheNewPath) {
    QTemporaryDir dir;
    FakePrompts prompts;
    Document doc;
    doc.SetPrompts(&prompts);
    doc.SetTitle("plant *");
    prompts.savePath = dir.filePath("renamed.ovopc").toStdString();

    ASSERT_TRUE(doc.OnCommand(ID_FILE_SAVE_AS));

    ASSERT_EQ(prompts.suggestions.size(), 1u);
    EXPECT_EQ(prompts.suggestions[0], "plant.ovopc");
    EXPECT_EQ(doc.PathName(), prompts.savePath);
    EXPECT_EQ(doc.Title(), "renamed.ovopc");
    EXPECT_TRUE(QFile::exists(dir.filePath("renamed.ovopc")));
}

TEST(DocumentFiles, SaveModifiedFollowsTheAnswer) {
    using Answer = DocumentPrompts::Answer;
    struct Case {
        const char* name;
        bool modified;
        bool hasPath;
        Answer answer;
        bool cancelSaveDialog;
        bool expectedResult;
        bool expectAsked;
        bool expectSaved;
    };
    const Case cases[] = {
        {"unmodified: no question", false, true, Answer::Cancel, false, true, false, false},
        {"yes saves to its file", true, true, Answer::Yes, false, true, true, true},
        {"yes without file asks for one", true, false, Answer::Yes, false, true, true, true},
        {"yes, then save dialog cancelled", true, false, Answer::Yes, true, false, true, false},
        {"no discards", true, true, Answer::No, false, true, true, false},
        {"cancel keeps everything", true, true, Answer::Cancel, false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("p.ovopc");
        FakePrompts prompts;
        prompts.answer = c.answer;
        prompts.savePath = c.cancelSaveDialog ? "" : path.toStdString();
        Document doc;
        doc.SetPrompts(&prompts);
        if (c.hasPath) doc.SetPathName(path.toStdString());
        doc.SetModifiedFlag(c.modified);

        EXPECT_EQ(doc.SaveModified(), c.expectedResult);
        EXPECT_EQ(!prompts.asked.empty(), c.expectAsked);
        EXPECT_EQ(QFile::exists(path), c.expectSaved);
    }
}

// A view shows the document's objects and is told of changes by update hints. A view class
// derives from its widget and from View; it registers with the document with
// Document::AddView and leaves it by itself when destroyed.
#pragma once

#include "docview/command_target.h"

class Document;

class View : public CommandTarget {
public:
    View() = default;
    ~View() override;

    Document* GetDocument() const { return document_; }

    // A change of the document: `hint` is an UpdateHint, `object` what it is about (may be null).
    virtual void OnUpdate(int hint, void* object) {}

private:
    friend class Document;
    Document* document_ = nullptr;
};

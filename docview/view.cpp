#include "docview/view.h"

#include "docview/document.h"

View::~View() {
    if (document_) document_->RemoveView(this);
}

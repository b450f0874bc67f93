#include "ui/framework/view.h"

#include "ui/framework/document.h"

View::~View() {
    if (document_) document_->RemoveView(this);
}

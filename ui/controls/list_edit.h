// A report list whose cells in the third column and later are edited in place: a click on such
// a cell opens a small edit box exactly over it. Enter, or leaving the box, stores the text
// into the cell (the model's setData); Esc discards it; Up and Down move the editing to the
// previous or next row, wrapping at the ends. While the operator types, the box widens to fit
// the text (up to the list's right edge) and the list tells its owner after each change.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QTableView>

#include <functional>
#include <optional>

class CVListEdit;

class CVListEditCtrl : public QTableView {
public:
    explicit CVListEditCtrl(QWidget* parent = nullptr);
    ~CVListEditCtrl() override;  // an open box goes first, without storing anything

    // Opens the edit box on a cell; nothing when the row or column does not exist or the
    // column is too narrow (4 pixels or less).
    void EditCell(int row, int column);
    // The row being edited, -1 when none.
    int EditedRow() const { return editedRow_; }
    // Ends an open edit as leaving its box would: the text is stored.
    void FinishEdit();
    CVListEdit* Editor() const { return editor_; }

    // The text of cell (column, row) is being changed: after each typed character and paste.
    std::function<void(int column, int row)> onCellChanging;
    // An edit ended: with the text stored, or cancelled (no text).
    std::function<void(int column, int row, const std::optional<QString>& text)> onEditEnded;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    friend class CVListEdit;
    void EditNeighbour(int step);
    void EndEdit(CVListEdit* editor, int row, int column, const std::optional<QString>& text);

    int editedRow_ = -1;
    QPointer<CVListEdit> editor_;
};

class CVListEdit : public QLineEdit {
public:
    CVListEdit(CVListEditCtrl* list, int row, int column, const QString& text);

    int Row() const { return row_; }
    int Column() const { return column_; }
    // The list is going: the box ends without telling it anything.
    void Abandon() { ended_ = true; }
    // Ends the edit: stores the text (none when cancelled) and goes.
    void Finish();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void FitText();

    CVListEditCtrl* list_;
    int row_;
    int column_;
    bool cancelled_ = false;
    bool ended_ = false;
};

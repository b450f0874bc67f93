// In-place editing of a report list: which clicks open the box, what Enter, Esc, Up and Down
// do, the box widening with its text, and the change notices to the owner.
#include "ui/controls/list_edit.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

class ListEdit : public ::testing::Test {
protected:
    void SetUp() override {
        model.setColumnCount(3);
        for (int row = 0; row < 4; ++row)
            model.appendRow({new QStandardItem(QString("Item %1").arg(row)), new QStandardItem("0"),
                             new QStandardItem(row == 1 ? "old" : "")});
        list.setModel(&model);
        for (int column = 0; column < 3; ++column) list.setColumnWidth(column, 150);
        list.horizontalHeader()->setMinimumSectionSize(0);
        list.resize(500, 200);
        list.show();
        // The box ends its edit when it loses the focus: the window must be the active one.
        QApplication::setActiveWindow(&list);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
        list.onCellChanging = [this](int column, int row) { changes.emplace_back(column, row); };
        list.onEditEnded = [this](int, int row, const std::optional<QString>& text) { ended.emplace_back(row, text); };
    }
    QString Cell(int row) const { return model.item(row, 2)->text(); }
    void Click(int row, int column) {
        const QPoint at = list.visualRect(model.index(row, column)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    void Key(int key, const QString& text = {}) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : list.Editor();
        ASSERT_TRUE(target);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(target, &press);
        QApplication::processEvents();
    }
    void Type(const QString& text) {
        for (const QChar c : text) QTest::keyClick(list.Editor(), c.toLatin1());
    }

    QStandardItemModel model;
    CVListEditCtrl list;
    std::vector<std::pair<int, int>> changes;
    std::vector<std::pair<int, std::optional<QString>>> ended;
};

TEST_F(ListEdit, OnlyCellsFromTheThirdColumnOpenTheBox) {
    Click(2, 0);
    EXPECT_EQ(list.Editor(), nullptr);
    EXPECT_EQ(list.currentIndex().row(), 2);
    Click(2, 1);
    EXPECT_EQ(list.Editor(), nullptr);
    Click(1, 2);
    ASSERT_TRUE(list.Editor());
    EXPECT_EQ(list.EditedRow(), 1);
    EXPECT_EQ(list.Editor()->text(), "old");
    EXPECT_EQ(list.Editor()->selectedText(), "old") << "the text is selected to be typed over";

    list.setColumnWidth(2, 4);
    list.EditCell(3, 2);
    EXPECT_EQ(list.EditedRow(), 1) << "a column of 4 pixels cannot be edited";
    list.EditCell(9, 2);
    list.EditCell(0, 3);
    EXPECT_EQ(list.EditedRow(), 1);
}

TEST_F(ListEdit, EnterStoresEscDiscardsAndEveryChangeIsTold) {
    list.EditCell(1, 2);
    Type("12");
    EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{2, 1}, {2, 1}}));
    Key(Qt::Key_Escape);
    EXPECT_EQ(Cell(1), "old") << "Esc leaves the cell as it was";
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_FALSE(ended[0].second);
    EXPECT_EQ(list.EditedRow(), -1);

    list.EditCell(1, 2);
    Type("42");
    Key(Qt::Key_Return);
    EXPECT_EQ(Cell(1), "42");
    EXPECT_EQ(ended.back(), (std::pair<int, std::optional<QString>>{1, QString("42")}));
}

TEST_F(ListEdit, UpAndDownMoveTheEditingAndWrapAtTheEnds) {
    list.EditCell(3, 2);
    Type("7");
    Key(Qt::Key_Down);
    EXPECT_EQ(list.EditedRow(), 0) << "from the last row to the first";
    EXPECT_EQ(Cell(3), "7") << "moving on stores the text";
    Key(Qt::Key_Up);
    EXPECT_EQ(list.EditedRow(), 3) << "from the first row to the last";
    Key(Qt::Key_Up);
    EXPECT_EQ(list.EditedRow(), 2);
}

TEST_F(ListEdit, ALongTextWidensTheBoxUpToTheListsEdge) {
    list.EditCell(0, 2);
    CVListEdit* box = list.Editor();
    ASSERT_TRUE(box);
    const int narrow = box->width();
    Type("1234567890123456789012345678901234567890");
    EXPECT_GT(box->width(), narrow);
    EXPECT_LE(box->x() + box->width(), list.viewport()->width());
    Type(QString(200, QLatin1Char('9')));
    EXPECT_EQ(box->x() + box->width(), list.viewport()->width()) << "then the text scrolls inside it";
}

}  // namespace

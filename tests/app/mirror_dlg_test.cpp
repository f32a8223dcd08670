#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include "app/mirror_dlg.h"
#include "platform/settings_store.h"

namespace {

TEST(MirrorDlgTest, OpensOnTheStoredMirrorWithTheFourRowsInTypeOrder) {
    orbelune::MemorySettingsStore store;
    CMirrorDlg dlg(store);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Mirror Selection"));
    CMirrorListBox* list = dlg.listBox();
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Standard"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("Thread"));
    EXPECT_EQ(list->item(2)->text(), QStringLiteral("NewStandard"));
    EXPECT_EQ(list->item(3)->text(), QStringLiteral("NewThread"));
    EXPECT_EQ(list->SelectedRow(), 1);  // nothing stored: Concave Threaded

    store.SetInt("EQUIPMENT", "MIRROR", 3);
    CMirrorDlg stored(store);
    EXPECT_EQ(stored.listBox()->SelectedRow(), 3);
}

TEST(MirrorDlgTest, StoredValueOutsideTheTableSelectsNothingAndOkStoresMinusOne) {
    orbelune::MemorySettingsStore store;
    store.SetInt("EQUIPMENT", "MIRROR", 7);
    CMirrorDlg dlg(store);
    EXPECT_EQ(dlg.listBox()->SelectedRow(), -1);
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "MIRROR", 0), -1);
}

TEST(MirrorDlgTest, ClickedRowIsWhatOkStores) {
    orbelune::MemorySettingsStore store;
    CMirrorDlg dlg(store);
    dlg.show();
    CMirrorListBox* list = dlg.listBox();
    const QRect row3 = list->visualItemRect(list->item(3));
    ASSERT_TRUE(list->viewport()->rect().contains(row3.center()));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row3.center());
    EXPECT_EQ(list->SelectedRow(), 3);
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "MIRROR", 0), 3);
}

TEST(MirrorDlgTest, RowsAreMeasuredAndDrawnWithPictureAndHighlight) {
    EXPECT_EQ(CMirrorListBox::MeasureItem(), QSize(124, 107));
    orbelune::MemorySettingsStore store;
    CMirrorDlg dlg(store);
    EXPECT_EQ(dlg.listBox()->visualItemRect(dlg.listBox()->item(0)).height(), 107);

    QPalette pal;
    pal.setColor(QPalette::Highlight, QColor(10, 20, 200));
    pal.setColor(QPalette::Base, QColor(250, 250, 250));
    for (bool selected : {false, true}) {
        QImage img(300, 107, QImage::Format_RGB32);
        img.fill(Qt::black);
        QPainter p(&img);
        CMirrorListBox::DrawItem(&p, img.rect(), 2, selected, false, pal);
        p.end();
        const QColor fill = selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base);
        EXPECT_EQ(QColor(img.pixel(2, 2)), fill);    // margin round the picture
        EXPECT_EQ(QColor(img.pixel(299, 2)), fill);  // far end of the row
        EXPECT_NE(QColor(img.pixel(62, 30)), fill);  // inside the picture
        // Some caption ink right of the picture.
        bool ink = false;
        for (int x = 124; x < 300 && !ink; ++x) {
            for (int y = 41; y < 80 && !ink; ++y)
                ink = QColor(img.pixel(x, y)) != fill;
        }
        EXPECT_TRUE(ink);
    }
}

}  // namespace

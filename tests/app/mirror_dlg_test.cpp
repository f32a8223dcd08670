#include <QCheckBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
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
    ASSERT_EQ(list->count(), 5);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Standard"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("Thread"));
    EXPECT_EQ(list->item(2)->text(), QStringLiteral("NewStandard"));
    EXPECT_EQ(list->item(3)->text(), QStringLiteral("NewThread"));
    EXPECT_EQ(list->item(4)->text(), QStringLiteral("Custom"));
    EXPECT_EQ(list->SelectedRow(), 1);  // nothing stored: Concave Threaded

    store.SetInt("EQUIPMENT", "MIRROR", 3);
    CMirrorDlg stored(store);
    EXPECT_EQ(stored.listBox()->SelectedRow(), 3);
}

TEST(MirrorDlgTest, StoredValueOutsideTheTableSelectsNothingAndOkStoresMinusOne) {
    orbelune::MemorySettingsStore store;
    store.SetInt("EQUIPMENT", "MIRROR", 7);  // beyond the custom row
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

TEST(MirrorDlgTest, CustomRowAsksForItsDescriptionFirst) {
    orbelune::MemorySettingsStore store;
    CMirrorDlg dlg(store);
    int asked = 0;
    // Cancelled: nothing stored, the selection dialog stays open.
    dlg.runCustomDialog = [&](CCustomMirrorDlg& custom) {
        ++asked;
        EXPECT_EQ(custom.outerBox()->value(), 15);
        EXPECT_EQ(custom.innerBox()->value(), -45);
        EXPECT_FALSE(custom.mirroredBox()->isChecked());
        custom.outerBox()->setValue(30);
        QTest::mouseClick(custom.cancelButton(), Qt::LeftButton);
        return custom.result();
    };
    dlg.listBox()->setCurrentRow(4);
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(asked, 1);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(store.Contains("EQUIPMENT", "MIRROR"));
    EXPECT_FALSE(store.Contains("EQUIPMENT", "CUSTOM_OUTER_ELEVATION"));

    // Equal elevations cannot be confirmed; different ones are stored with the type.
    dlg.runCustomDialog = [&](CCustomMirrorDlg& custom) {
        custom.outerBox()->setValue(-45);
        EXPECT_FALSE(custom.okButton()->isEnabled());
        custom.OnOK();
        EXPECT_NE(custom.result(), QDialog::Accepted);
        custom.outerBox()->setValue(120);  // held at the range's end
        EXPECT_EQ(custom.outerBox()->value(), 89);
        custom.mirroredBox()->setChecked(true);
        EXPECT_TRUE(custom.okButton()->isEnabled());
        QTest::mouseClick(custom.okButton(), Qt::LeftButton);
        return custom.result();
    };
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "MIRROR", 0), 4);
    EXPECT_EQ(orbelune::LoadCustomMirror(store), (orbelune::CustomMirror{89, -45, true}));

    // Reopened on the custom row, whose dialog shows what was stored.
    CMirrorDlg again(store);
    EXPECT_EQ(again.listBox()->SelectedRow(), 4);
    CCustomMirrorDlg custom(store);
    EXPECT_EQ(custom.outerBox()->value(), 89);
    EXPECT_TRUE(custom.mirroredBox()->isChecked());
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
        CMirrorListBox::DrawItem(&p, img.rect(), selected ? 4 : 2, selected, false, pal);
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

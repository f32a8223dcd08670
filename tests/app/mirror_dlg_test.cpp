#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>
#include "app/artwork.h"
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
        CMirrorListBox::DrawItem(&p, img.rect(), selected ? 4 : 2, selected, false, pal,
                                 QApplication::font());
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

// Rows of `image` (between x0 and x1) holding anything but `fill`.
int InkRows(const QImage& image, int x0, int x1, int y0, int y1, QRgb fill) {
    int rows = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (image.pixel(x, y) != fill) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

TEST(MirrorDlgTest, ListShowsEachRowsOwnPictureAndCaptionsInTheProgramsFont) {
    const QFont original = QApplication::font();
    QPalette pal;
    pal.setColor(QPalette::Base, QColor(250, 250, 250));
    const QRgb fill = QColor(250, 250, 250).rgb();
    auto row = [&](int type, const QFont& font) {
        QImage img(320, 107, QImage::Format_RGB32);
        QPainter p(&img);
        CMirrorListBox::DrawItem(&p, img.rect(), type, false, false, pal, font);
        return img;
    };
    // The picture in each row is that mirror's own.
    for (int type = 0; type <= 4; ++type) {
        QImage picture(116, 99, QImage::Format_RGB32);
        picture.fill(QColor(250, 250, 250));
        QPainter p(&picture);
        p.drawPixmap(0, 0, artwork::MirrorPictureFor(type));
        p.end();
        EXPECT_EQ(row(type, original).copy(4, 4, 116, 99), picture) << type;
    }
    EXPECT_NE(row(0, original).copy(4, 4, 116, 99), row(2, original).copy(4, 4, 116, 99));

    // The caption grows with the font it is given...
    QFont small = original, large = original;
    small.setPixelSize(10);
    large.setPixelSize(26);
    const int smallInk = InkRows(row(0, small), 124, 320, 0, 107, fill);
    const int largeInk = InkRows(row(0, large), 124, 320, 0, 107, fill);
    EXPECT_GT(smallInk, 3);
    EXPECT_GT(largeInk, smallInk * 3 / 2);

    // ...and the dialog gives it the program's font.
    QApplication::setFont(large);
    {
        orbelune::MemorySettingsStore store;
        CMirrorDlg dlg(store);
        dlg.show();
        CMirrorListBox* list = dlg.listBox();
        EXPECT_EQ(list->font(), QApplication::font());
        list->clearSelection();
        list->setCurrentRow(-1);
        QApplication::processEvents();
        const QImage shown = list->viewport()->grab().toImage();
        const QRect r0 = list->visualItemRect(list->item(0));
        const QRgb base = shown.pixel(r0.right() - 2, r0.top() + 2);
        // Drawn by hand in a row of the same size with the program's font.
        QImage expected(r0.size(), QImage::Format_RGB32);
        QPainter p(&expected);
        CMirrorListBox::DrawItem(&p, expected.rect(), 0, false, false, pal, large);
        p.end();
        const int wanted = InkRows(expected, 124, r0.width() - 4, 1, r0.height() - 1, fill);
        EXPECT_GT(wanted, smallInk * 3 / 2);
        EXPECT_EQ(InkRows(shown, r0.left() + 124, r0.right() - 4, r0.top() + 1, r0.bottom(), base),
                  wanted);
    }
    QApplication::setFont(original);
}

}  // namespace

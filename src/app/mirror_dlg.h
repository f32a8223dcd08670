#pragma once

#include <QDialog>
#include <QListWidget>
#include <QStyledItemDelegate>

class QPushButton;

namespace orbelune {
class SettingsStore;
}

// The mirror list: one owner-drawn row per mirror type, picture and caption;
// the row index is the mirror type.
class CMirrorListBox : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kPictureWidth = 116;
    static constexpr int kPictureHeight = 99;

    explicit CMirrorListBox(QWidget* parent = nullptr);

    // Every row is the picture plus a 4-pixel margin on each side.
    static QSize MeasureItem();
    // Draws one row as the list asks for it.
    static void DrawItem(QPainter* painter, const QRect& rect, int row, bool selected, bool focused,
                         const QPalette& palette);
    // Index of the selected row, -1 when none.
    int SelectedRow() const;
};

// "Mirror Selection": choose the attachment; OK stores the choice.
class CMirrorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMirrorDlg(orbelune::SettingsStore& store, QWidget* parent = nullptr);

    CMirrorListBox* listBox() const { return m_pList; }
    QPushButton* okButton() const { return m_pOk; }
    QPushButton* cancelButton() const { return m_pCancel; }

    // Stores the selected row (-1 when none) as the mirror type and closes.
    void OnOK();

private:
    orbelune::SettingsStore& m_store;
    CMirrorListBox* m_pList = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
};

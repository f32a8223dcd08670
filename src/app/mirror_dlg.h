#pragma once

#include <QDialog>
#include <QListWidget>
#include <QStyledItemDelegate>
#include <functional>

#include "unwarp/mirror_types.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace orbelune {
class SettingsStore;
}

class CCustomMirrorDlg;

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
    // Draws one row as the list asks for it, the caption in `font` (the list's,
    // which is the program's unless someone set another).
    static void DrawItem(QPainter* painter, const QRect& rect, int row, bool selected, bool focused,
                         const QPalette& palette, const QFont& font);
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
    // The custom row first asks for its description; cancelling that keeps
    // this dialog open and stores nothing.
    void OnOK();

    // Runs the custom mirror's dialog (tests answer it; by default exec()).
    std::function<int(CCustomMirrorDlg&)> runCustomDialog;

private:
    orbelune::SettingsStore& m_store;
    CMirrorListBox* m_pList = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
};

// "Custom Mirror": the elevations seen at the two circles and whether the
// picture is mirrored. OK stores them (never two equal elevations); Cancel
// stores nothing.
class CCustomMirrorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCustomMirrorDlg(orbelune::SettingsStore& store, QWidget* parent = nullptr);

    QSpinBox* outerBox() const { return m_pOuter; }
    QSpinBox* innerBox() const { return m_pInner; }
    QCheckBox* mirroredBox() const { return m_pMirrored; }
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;
    orbelune::CustomMirror Current() const;

    void OnOK();

private:
    void UpdateOk();

    orbelune::SettingsStore& m_store;
    QSpinBox* m_pOuter = nullptr;
    QSpinBox* m_pInner = nullptr;
    QCheckBox* m_pMirrored = nullptr;
    QLabel* m_pProblem = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};

#include "app/mirror_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/artwork.h"
#include "platform/settings_keys.h"
#include "unwarp/mirror_types.h"

namespace {

class MirrorRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return CMirrorListBox::MeasureItem();
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        CMirrorListBox::DrawItem(painter, option.rect, index.isValid() ? index.row() : -1,
                                 option.state.testFlag(QStyle::State_Selected),
                                 option.state.testFlag(QStyle::State_HasFocus), option.palette,
                                 option.font);
    }
};

// Dialog units of the 8-point dialog font to pixels.
constexpr int DuX(int x) {
    return x * 3 / 2;
}
constexpr int DuY(int y) {
    return y * 13 / 8;
}

}  // namespace

CMirrorListBox::CMirrorListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new MirrorRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    setSortingEnabled(false);
    setFrameShape(QFrame::StyledPanel);
}

QSize CMirrorListBox::MeasureItem() {
    return {kPictureWidth + 8, kPictureHeight + 8};
}

void CMirrorListBox::DrawItem(QPainter* painter, const QRect& rect, int row, bool selected,
                              bool focused, const QPalette& palette, const QFont& font) {
    painter->save();
    painter->fillRect(rect, palette.color(selected ? QPalette::Highlight : QPalette::Base));
    if (focused) {
        QPen pen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text), 1,
                 Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
    }
    const orbelune::MirrorInfo* mirror = orbelune::FindMirror(row);
    if (row != -1 && mirror) {
        painter->drawPixmap(rect.left() + 4, rect.top() + 4, artwork::MirrorPictureFor(row));
        // The caption in the program's font, so it follows the desktop's choice.
        painter->setFont(font);
        painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect textRect(QPoint(rect.left() + kPictureWidth + 8, rect.top() + 4),
                             QPoint(rect.right() - 4, rect.top() + kPictureHeight + 4));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                          QString::fromUtf8(mirror->caption).trimmed());
    }
    painter->restore();
}

int CMirrorListBox::SelectedRow() const {
    const QList<QListWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : row(items.front());
}

CMirrorDlg::CMirrorDlg(orbelune::SettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setWindowTitle(tr("Mirror Selection"));
    setFixedSize(DuX(213), DuY(298));

    m_pList = new CMirrorListBox(this);
    m_pList->setObjectName(QStringLiteral("mirrorList"));
    m_pList->setGeometry(DuX(7), DuY(7), DuX(199), DuY(266));
    m_pOk = new QPushButton(tr("OK"), this);
    m_pOk->setGeometry(DuX(35), DuY(277), DuX(50), DuY(14));
    m_pOk->setDefault(true);
    m_pCancel = new QPushButton(tr("Cancel"), this);
    m_pCancel->setGeometry(DuX(120), DuY(277), DuX(50), DuY(14));
    m_pOk->setToolTip(tr("Use the mirror selected"));
    m_pCancel->setToolTip(tr("Keep the mirror chosen before"));
    m_pList->setToolTip(tr("The mirror attachment the photographs were taken with"));
    connect(m_pOk, &QPushButton::clicked, this, &CMirrorDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pList, &QListWidget::itemDoubleClicked, this, &CMirrorDlg::OnOK);

    // The list texts are kept but never shown: the rows draw the captions.
    for (const orbelune::MirrorInfo& mirror : orbelune::MirrorTable()) {
        m_pList->addItem(QString::fromLatin1(mirror.listText));
    }
    const int stored = orbelune::Read(m_store, orbelune::settings::kMirror);
    if (m_pList->count() > 0 && stored >= 0 && stored < m_pList->count()) {
        m_pList->setCurrentRow(stored);
    } else {
        m_pList->clearSelection();
        m_pList->setCurrentRow(-1);
    }
}

void CMirrorDlg::OnOK() {
    const int row = m_pList->SelectedRow();
    // The custom mirror is only chosen together with its description.
    if (row == orbelune::CustomMirrorType) {
        CCustomMirrorDlg custom(m_store, this);
        const int result = runCustomDialog ? runCustomDialog(custom) : custom.exec();
        if (result != QDialog::Accepted) return;
    }
    orbelune::Write(m_store, orbelune::settings::kMirror, row);
    accept();
}

CCustomMirrorDlg::CCustomMirrorDlg(orbelune::SettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setWindowTitle(tr("Custom Mirror"));
    const orbelune::CustomMirror custom = orbelune::LoadCustomMirror(store);
    auto elevationBox = [this](int value) {
        auto* box = new QSpinBox(this);
        box->setRange(orbelune::settings::kMinElevation, orbelune::settings::kMaxElevation);
        box->setSuffix(QStringLiteral("\u00b0"));
        box->setValue(value);
        return box;
    };
    m_pOuter = elevationBox(custom.outerElevation);
    m_pOuter->setObjectName(QStringLiteral("outerElevation"));
    m_pInner = elevationBox(custom.innerElevation);
    m_pInner->setObjectName(QStringLiteral("innerElevation"));
    m_pMirrored = new QCheckBox(tr("Mirror the picture"), this);
    m_pMirrored->setChecked(custom.mirrored);
    m_pProblem = new QLabel(tr("The two elevations must differ."), this);
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_pOuter->setToolTip(tr("Degrees above the horizon seen at the outer circle"));
    m_pInner->setToolTip(tr("Degrees above the horizon seen at the inner circle"));
    m_pMirrored->setToolTip(tr("Flip the panorama left to right"));
    m_pButtons->button(QDialogButtonBox::Ok)->setToolTip(tr("Use these values"));
    m_pButtons->button(QDialogButtonBox::Cancel)->setToolTip(tr("Keep the values stored before"));

    auto* form = new QFormLayout;
    form->addRow(tr("Elevation at the outer circle:"), m_pOuter);
    form->addRow(tr("Elevation at the inner circle:"), m_pInner);
    auto* note = new QLabel(
        tr("Degrees above the horizon (negative below) that the mirror shows at each circle."),
        this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(m_pMirrored);
    layout->addWidget(m_pProblem);
    layout->addWidget(m_pButtons);

    connect(m_pButtons, &QDialogButtonBox::accepted, this, &CCustomMirrorDlg::OnOK);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pOuter, &QSpinBox::valueChanged, this, &CCustomMirrorDlg::UpdateOk);
    connect(m_pInner, &QSpinBox::valueChanged, this, &CCustomMirrorDlg::UpdateOk);
    UpdateOk();
}

QPushButton* CCustomMirrorDlg::okButton() const {
    return m_pButtons->button(QDialogButtonBox::Ok);
}

QPushButton* CCustomMirrorDlg::cancelButton() const {
    return m_pButtons->button(QDialogButtonBox::Cancel);
}

orbelune::CustomMirror CCustomMirrorDlg::Current() const {
    return {m_pOuter->value(), m_pInner->value(), m_pMirrored->isChecked()};
}

void CCustomMirrorDlg::UpdateOk() {
    const bool valid = orbelune::IsValidCustomMirror(Current());
    okButton()->setEnabled(valid);
    m_pProblem->setVisible(!valid);
}

void CCustomMirrorDlg::OnOK() {
    if (!orbelune::IsValidCustomMirror(Current())) return;
    orbelune::StoreCustomMirror(m_store, Current());
    accept();
}

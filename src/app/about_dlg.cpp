#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/artwork.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Orbelune"));
    const QPixmap picture = artwork::AboutBackground();
    setFixedSize(picture.size());
    m_pPicture = new QLabel(this);
    m_pPicture->setPixmap(picture);
    m_pPicture->setGeometry(QRect(QPoint(0, 0), picture.size()));
    m_pOk = new QPushButton(tr("OK"), this);
    m_pOk->setDefault(true);
    m_pOk->setToolTip(tr("Close this box"));
    m_pOk->setGeometry(282, 244, 88, 28);
    // The picture is the dialog's background; the button lies over it.
    m_pPicture->lower();
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
}

#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// "About Orbelune": the program's picture with an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QPushButton* okButton() const { return m_pOk; }

private:
    QLabel* m_pPicture = nullptr;
    QPushButton* m_pOk = nullptr;
};

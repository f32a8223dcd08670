#pragma once

#include <QColor>
#include <QLabel>

// The size label of the image views: fills itself with its own background
// colour and draws its text over it. The owning view picks the colour.
class CLabelCtrl : public QLabel {
    Q_OBJECT
public:
    explicit CLabelCtrl(QWidget* parent = nullptr);

    void SetBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_background; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_background;
};

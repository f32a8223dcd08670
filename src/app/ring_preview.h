#pragma once

#include <QImage>
#include <QWidget>

#include "unwarp/mirror_types.h"
#include "unwarp/ring_params.h"

// A small unwarped strip of the current ring, made from the round view's
// display copy so that it can follow every drag step.
class CRingPreview : public QWidget {
    Q_OBJECT
public:
    explicit CRingPreview(QWidget* parent = nullptr);

    // Remakes the strip from `display` (the photograph reduced by `scale`);
    // an empty display clears it.
    void Update(const QImage& display, const orbelune::RingParams& ring, double scale,
                int mirrorType, const orbelune::CustomMirror& custom);
    void Clear();

    const QImage& strip() const { return m_strip; }
    // How many times the strip was made, for tests.
    int updates() const { return m_updates; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_strip;
    int m_updates = 0;
};

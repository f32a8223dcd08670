#include "app/artwork.h"

#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "orbelune_version.h"
#include "unwarp/mirror_types.h"

namespace artwork {
namespace {

using namespace colors;

QFont UiFont(double pixelSize, int weight = QFont::Normal) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(static_cast<int>(pixelSize));
    f.setWeight(static_cast<QFont::Weight>(weight));
    return f;
}

void PaintViewBase(QPainter& p, QSize size) {
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, kBackgroundTop);
    g.setColorAt(1, kBackgroundBottom);
    p.fillRect(QRect(QPoint(0, 0), size), g);
    // A faint glow top left and concentric rings bottom right: the program's motif.
    QRadialGradient glow(QPointF(120, 40), 420);
    QColor accent = kAccent;
    accent.setAlpha(38);
    glow.setColorAt(0, accent);
    glow.setColorAt(1, Qt::transparent);
    p.fillRect(QRect(QPoint(0, 0), size), glow);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 6; ++i) {
        QColor c = kText;
        c.setAlpha(10 - i);
        p.setPen(QPen(c, 1.5));
        const double r = 110 + i * 46;
        p.drawEllipse(QPointF(size.width() + 40, size.height() + 60), r, r);
    }
    p.restore();
}

void PaintPanel(QPainter& p, const QRectF& r, double radius = 12) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    QColor top = kPanel;
    top.setAlpha(235);
    QColor bottom = kPanel.darker(112);
    bottom.setAlpha(235);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setBrush(g);
    p.setPen(QPen(kPanelEdge, 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.restore();
}

// The dark well a picture sits in, a little larger than the picture's window.
void PaintImageWell(QPainter& p, const QRect& inner) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(inner).adjusted(-7, -7, 7, 7);
    for (int i = 4; i >= 1; --i) {  // soft shadow
        QColor s(0, 0, 0, 22);
        p.setPen(Qt::NoPen);
        p.setBrush(s);
        p.drawRoundedRect(outer.adjusted(-i, -i + 2, i, i + 2), 10 + i, 10 + i);
    }
    p.setBrush(kImageWell);
    p.setPen(QPen(kPanelEdge, 1));
    p.drawRoundedRect(outer, 10, 10);
    p.restore();
    p.fillRect(inner, kImageWell);
}

void PaintTitle(QPainter& p, int x, int baseline, const QString& title, const QString& sub) {
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(kText);
    p.setFont(UiFont(26, QFont::DemiBold));
    p.drawText(x, baseline, title);
    if (!sub.isEmpty()) {
        const int w = p.fontMetrics().horizontalAdvance(title);
        p.setPen(kMutedText);
        p.setFont(UiFont(13));
        p.drawText(x + w + 14, baseline, sub);
    }
    p.restore();
}

void PaintText(QPainter& p, const QRect& r, const QString& text, double size, const QColor& c,
               int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               int weight = QFont::Normal) {
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(c);
    p.setFont(UiFont(size, weight));
    p.drawText(r, flags, text);
    p.restore();
}

// A ring photograph in miniature: sky outside, ground inside, the mirror's
// own dark centre, with a few buildings standing radially on the horizon.
void PaintRingPhoto(QPainter& p, QPointF c, double r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(c, r);
    g.setColorAt(0.00, QColor(0x0b, 0x0f, 0x14));
    g.setColorAt(0.30, QColor(0x0b, 0x0f, 0x14));
    g.setColorAt(0.31, QColor(0x4d, 0x5b, 0x3a));
    g.setColorAt(0.55, QColor(0x7d, 0x8f, 0x52));
    g.setColorAt(0.62, QColor(0xe9, 0xc9, 0x8c));
    g.setColorAt(0.75, QColor(0x8e, 0xc3, 0xe6));
    g.setColorAt(0.99, QColor(0x3f, 0x7c, 0xc2));
    g.setColorAt(1.00, QColor(0x3f, 0x7c, 0xc2, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    // Buildings and trees on the horizon (radius ~0.6 r).
    p.setBrush(QColor(0x2c, 0x37, 0x2a));
    for (int i = 0; i < 22; ++i) {
        const double a = i * 2 * M_PI / 22 + 0.13;
        const double h = 0.06 + 0.07 * std::fabs(std::sin(i * 1.7));
        const double w = 0.09 + 0.05 * std::fabs(std::cos(i * 2.3));
        p.save();
        p.translate(c);
        p.rotate(a * 180 / M_PI);
        p.drawRect(QRectF(r * 0.58, -r * w / 2, r * h, r * w));
        p.restore();
    }
    // The ring overlay as the round view draws it.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x2f, 0xd0, 0x6a), 2));
    p.drawEllipse(c, r * 0.96, r * 0.96);
    p.drawEllipse(c, r * 0.33, r * 0.33);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
    p.restore();
}

// The same scene unrolled into a strip.
void PaintPanoramaStrip(QPainter& p, const QRectF& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(r, 6, 6);
    p.setClipPath(clip);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, QColor(0x3f, 0x7c, 0xc2));
    g.setColorAt(0.45, QColor(0x8e, 0xc3, 0xe6));
    g.setColorAt(0.58, QColor(0xe9, 0xc9, 0x8c));
    g.setColorAt(0.66, QColor(0x7d, 0x8f, 0x52));
    g.setColorAt(1.0, QColor(0x4d, 0x5b, 0x3a));
    p.fillRect(r, g);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2c, 0x37, 0x2a));
    const double horizon = r.top() + r.height() * 0.6;
    for (int i = 0; i < 22; ++i) {
        const double x = r.left() + (i + 0.5) * r.width() / 22;
        const double h = r.height() * (0.06 + 0.07 * std::fabs(std::sin(i * 1.7))) * 1.6;
        const double w = r.width() / 22 * (0.5 + 0.5 * std::fabs(std::cos(i * 2.3)));
        p.drawRect(QRectF(x - w / 2, horizon - h, w, h + 2));
    }
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawRoundedRect(r, 6, 6);
    p.restore();
}

void PaintArrow(QPainter& p, QPointF from, QPointF to) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(kAccent2, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.drawLine(from, to);
    const double a = std::atan2(to.y() - from.y(), to.x() - from.x());
    const double s = 10;
    p.drawLine(to, to - QPointF(s * std::cos(a - 0.5), s * std::sin(a - 0.5)));
    p.drawLine(to, to - QPointF(s * std::cos(a + 0.5), s * std::sin(a + 0.5)));
    p.restore();
}

// ---- button faces ---------------------------------------------------------

struct FaceSpec {
    QSize size;
    QString text;
    bool primary;
};

FaceSpec SpecFor(ButtonId id) {
    switch (id) {
        case ButtonId::Open:
            return {layout::kStartOpen.size(), QStringLiteral("Open Image"), true};
        case ButtonId::Manual:
            return {layout::kStartManual.size(), QStringLiteral("Manual"), false};
        case ButtonId::Mirror:
            return {layout::kStartMirror.size(), QStringLiteral("Mirror"), false};
        case ButtonId::Unwarp:
            return {layout::kRoundUnwarp.size(), QStringLiteral("Unwarp"), true};
        case ButtonId::Back:
            return {layout::kRoundBack.size(), QStringLiteral("Back"), false};
        case ButtonId::Reset:
            return {layout::kPanoReset.size(), QStringLiteral("Reset"), false};
        case ButtonId::Undo:
            return {layout::kPanoUndo.size(), QStringLiteral("Undo"), false};
        case ButtonId::Crop:
            return {layout::kPanoCrop.size(), QStringLiteral("Crop"), false};
        case ButtonId::SavePanorama:
            return {layout::kPanoSavePanorama.size(), QStringLiteral("Save Panorama"), true};
        case ButtonId::SaveMovie:
            return {layout::kPanoSaveMovie.size(), QStringLiteral("Save as VR Movie"), false};
        case ButtonId::StartOver:
            return {layout::kPanoStartOver.size(), QStringLiteral("Start Over"), false};
        case ButtonId::PanoBack:
            return {layout::kPanoBack.size(), QStringLiteral("Back"), false};
    }
    return {QSize(100, 34), QString(), false};
}

// Small line icons drawn into a square at `box`.
void PaintGlyph(QPainter& p, ButtonId id, const QRectF& box, const QColor& c) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const double l = box.left(), t = box.top(), w = box.width(), h = box.height();
    const QPointF mid = box.center();
    switch (id) {
        case ButtonId::Open: {  // folder
            QPainterPath path;
            path.moveTo(l, t + h * 0.2);
            path.lineTo(l + w * 0.38, t + h * 0.2);
            path.lineTo(l + w * 0.48, t + h * 0.32);
            path.lineTo(l + w, t + h * 0.32);
            path.lineTo(l + w, t + h * 0.85);
            path.lineTo(l, t + h * 0.85);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case ButtonId::Manual: {  // open book
            QPainterPath path;
            path.moveTo(mid.x(), t + h * 0.25);
            path.cubicTo(l + w * 0.35, t + h * 0.12, l + w * 0.15, t + h * 0.15, l, t + h * 0.2);
            path.lineTo(l, t + h * 0.85);
            path.cubicTo(l + w * 0.15, t + h * 0.8, l + w * 0.35, t + h * 0.78, mid.x(),
                         t + h * 0.9);
            path.cubicTo(l + w * 0.65, t + h * 0.78, l + w * 0.85, t + h * 0.8, l + w,
                         t + h * 0.85);
            path.lineTo(l + w, t + h * 0.2);
            path.cubicTo(l + w * 0.85, t + h * 0.15, l + w * 0.65, t + h * 0.12, mid.x(),
                         t + h * 0.25);
            path.lineTo(mid.x(), t + h * 0.9);
            p.drawPath(path);
            break;
        }
        case ButtonId::Mirror:  // dome over a mount
            p.drawArc(QRectF(l + w * 0.15, t + h * 0.05, w * 0.7, h * 0.8), 0, 180 * 16);
            p.drawLine(QPointF(l + w * 0.15, t + h * 0.45), QPointF(l + w * 0.85, t + h * 0.45));
            p.drawRect(QRectF(l + w * 0.32, t + h * 0.45, w * 0.36, h * 0.45));
            break;
        case ButtonId::Unwarp:  // ring into strip
            p.drawEllipse(QRectF(l, t + h * 0.15, w * 0.42, h * 0.7));
            p.drawRect(QRectF(l + w * 0.62, t + h * 0.32, w * 0.38, h * 0.36));
            p.drawLine(QPointF(l + w * 0.46, mid.y()), QPointF(l + w * 0.58, mid.y()));
            break;
        case ButtonId::Back:
        case ButtonId::PanoBack:
            p.drawLine(QPointF(l + w * 0.65, t + h * 0.15), QPointF(l + w * 0.3, mid.y()));
            p.drawLine(QPointF(l + w * 0.3, mid.y()), QPointF(l + w * 0.65, t + h * 0.85));
            break;
        case ButtonId::Undo:
        case ButtonId::Reset:
        case ButtonId::StartOver: {  // circular arrow
            const QRectF rr(l + w * 0.12, t + h * 0.12, w * 0.76, h * 0.76);
            p.drawArc(rr, 100 * 16, 290 * 16);
            const QPointF tip(rr.center().x() - rr.width() * 0.17, rr.top() + 0.5);
            p.drawLine(tip, tip + QPointF(w * 0.22, -h * 0.12));
            p.drawLine(tip, tip + QPointF(w * 0.18, h * 0.18));
            break;
        }
        case ButtonId::Crop:
            p.drawLine(QPointF(l + w * 0.25, t), QPointF(l + w * 0.25, t + h * 0.75));
            p.drawLine(QPointF(l + w * 0.25, t + h * 0.75), QPointF(l + w, t + h * 0.75));
            p.drawLine(QPointF(l, t + h * 0.25), QPointF(l + w * 0.75, t + h * 0.25));
            p.drawLine(QPointF(l + w * 0.75, t + h * 0.25), QPointF(l + w * 0.75, t + h));
            break;
        case ButtonId::SavePanorama:  // tray with arrow
            p.drawLine(QPointF(mid.x(), t), QPointF(mid.x(), t + h * 0.62));
            p.drawLine(QPointF(mid.x() - w * 0.22, t + h * 0.4), QPointF(mid.x(), t + h * 0.62));
            p.drawLine(QPointF(mid.x() + w * 0.22, t + h * 0.4), QPointF(mid.x(), t + h * 0.62));
            p.drawPolyline(QPolygonF({QPointF(l, t + h * 0.6), QPointF(l, t + h * 0.95),
                                      QPointF(l + w, t + h * 0.95), QPointF(l + w, t + h * 0.6)}));
            break;
        case ButtonId::SaveMovie:  // film frame with play mark
            p.drawRoundedRect(QRectF(l, t + h * 0.15, w, h * 0.7), 2, 2);
            p.setBrush(c);
            p.drawPolygon(
                QPolygonF({QPointF(l + w * 0.4, t + h * 0.33), QPointF(l + w * 0.68, mid.y()),
                           QPointF(l + w * 0.4, t + h * 0.67)}));
            break;
    }
    p.restore();
}

QPixmap PaintFace(ButtonId id, bool pressed) {
    const FaceSpec look = SpecFor(id);
    QPixmap pm(look.size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(QPointF(0, 0), look.size).adjusted(1, 1, -1, -2);
    const double radius = std::min(10.0, r.height() / 3.2);
    // Drop shadow, missing when pressed: the face sinks into the background.
    if (!pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawRoundedRect(r.translated(0, 1.5), radius, radius);
    }
    const QRectF face = pressed ? r.translated(0, 1) : r;
    QColor top, bottom, edge;
    if (look.primary) {
        top = pressed ? kAccent.darker(135) : kAccent.lighter(112);
        bottom = pressed ? kAccent.darker(160) : kAccent.darker(118);
        edge = kAccent.darker(170);
    } else {
        top = pressed ? QColor(0x2a, 0x33, 0x42) : QColor(0x45, 0x52, 0x66);
        bottom = pressed ? QColor(0x22, 0x2a, 0x36) : QColor(0x33, 0x3e, 0x4f);
        edge = QColor(0x14, 0x19, 0x21);
    }
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setBrush(g);
    p.setPen(QPen(edge, 1));
    p.drawRoundedRect(face, radius, radius);
    // A thin highlight along the top edge when raised.
    if (!pressed) {
        p.setPen(QPen(QColor(255, 255, 255, look.primary ? 90 : 45), 1));
        p.drawLine(QPointF(face.left() + radius, face.top() + 1.5),
                   QPointF(face.right() - radius, face.top() + 1.5));
    }
    const QColor ink = pressed ? QColor(0xd4, 0xdd, 0xe6) : QColor(Qt::white);
    const double textSize = std::clamp(face.height() * 0.36, 12.0, 19.0);
    QFont f = UiFont(textSize, QFont::DemiBold);
    p.setFont(f);
    const int textWidth = p.fontMetrics().horizontalAdvance(look.text);
    const double glyph = std::round(textSize * 1.05);
    const double gap = 8;
    const double total = glyph + gap + textWidth;
    const double x0 = face.left() + (face.width() - total) / 2;
    const QRectF glyphBox(x0, face.center().y() - glyph / 2, glyph, glyph);
    PaintGlyph(p, id, glyphBox, ink);
    p.setPen(ink);
    p.drawText(QRectF(x0 + glyph + gap, face.top(), textWidth + 2, face.height()),
               Qt::AlignLeft | Qt::AlignVCenter, look.text);
    return pm;
}

void PaintSlidersLegend(QPainter& p) {
    const QRect rows[] = {layout::kPanoBrightness, layout::kPanoContrast, layout::kPanoSaturation,
                          layout::kPanoSharpness};
    const char* names[] = {"Brightness", "Contrast", "Saturation", "Sharpness"};
    for (int i = 0; i < 4; ++i) {
        const QRect r = rows[i];
        PaintText(p, QRect(55, r.top(), r.left() - 55 - 10, r.height()),
                  QString::fromLatin1(names[i]), 13, kText, Qt::AlignRight | Qt::AlignVCenter);
    }
}

}  // namespace

QPixmap StartBackground() {
    QPixmap pm(layout::kViewSize);
    QPainter p(&pm);
    PaintViewBase(p, pm.size());
    PaintTitle(p, 48, 70, QStringLiteral("Orbelune"), QString());
    PaintText(p, QRect(50, 82, 470, 40),
              QStringLiteral("Turn a photograph taken through a panoramic mirror into a flat "
                             "360\u00B0 panorama."),
              14, kMutedText);
    PaintRingPhoto(p, QPointF(178, 283), 118);
    PaintArrow(p, QPointF(312, 283), QPointF(356, 283));
    PaintPanoramaStrip(p, QRectF(372, 240, 160, 86));
    // The four steps along the bottom.
    const char* steps[] = {"Open a ring photo", "Place the ring", "Unwarp", "Crop, adjust, save"};
    for (int i = 0; i < 4; ++i) {
        const QRectF chip(48 + i * 124, 446, 116, 54);
        PaintPanel(p, chip, 9);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(i == 0 ? kAccent : kPanelEdge.lighter(130));
        p.drawEllipse(QPointF(chip.left() + 16, chip.top() + 17), 9, 9);
        p.restore();
        PaintText(p, QRect(chip.left() + 7, chip.top() + 8, 18, 18), QString::number(i + 1), 11,
                  Qt::white, Qt::AlignCenter, QFont::Bold);
        PaintText(p, QRect(chip.left() + 10, chip.top() + 28, chip.width() - 16, 22),
                  QString::fromLatin1(steps[i]), 11.5, kText, Qt::AlignLeft | Qt::AlignVCenter);
    }
    // The command panel behind the three buttons, each with a short caption.
    PaintPanel(p, QRectF(556, 72, 196, 290), 14);
    const QRect buttons[] = {layout::kStartOpen, layout::kStartManual, layout::kStartMirror};
    const char* captions[] = {"A ring photograph, or a panorama to finish.",
                              "How to shoot, unwarp and save.",
                              "Which mirror attachment took the photo."};
    for (int i = 0; i < 3; ++i) {
        const QRect b = buttons[i];
        PaintText(p, QRect(b.left(), b.bottom() + 6, b.width(), 34),
                  QString::fromLatin1(captions[i]), 11.5, kMutedText);
    }
    PaintText(p, QRect(556, 505, 196, 20),
              QStringLiteral("Version ") + QLatin1String(orbelune::kVersionText), 11, kMutedText,
              Qt::AlignRight | Qt::AlignVCenter);
    return pm;
}

QPixmap RoundBackground() {
    QPixmap pm(layout::kViewSize);
    QPainter p(&pm);
    PaintViewBase(p, pm.size());
    PaintTitle(p, 55, 50, QStringLiteral("Place the ring"), QStringLiteral("over the mirror"));
    PaintImageWell(p, layout::kRoundImage);
    PaintPanel(p, QRectF(556, 68, 184, 446), 14);
    PaintText(p, QRect(570, 82, 160, 20), QStringLiteral("How to place it"), 14, kText,
              Qt::AlignLeft | Qt::AlignVCenter, QFont::DemiBold);
    const char* tips[] = {"Drag the cross to the centre of the mirror.",
                          "Drag the outer circle to the rim of the mirror.",
                          "Drag the inner circle just outside the camera's reflection."};
    int y = 112;
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(579, y + 9), 8, 8);
        p.restore();
        PaintText(p, QRect(571, y + 1, 16, 16), QString::number(i + 1), 10, Qt::white,
                  Qt::AlignCenter, QFont::Bold);
        PaintText(p, QRect(594, y, 140, 56), QString::fromLatin1(tips[i]), 12, kMutedText);
        y += 62;
    }
    PaintText(p, QRect(570, 296, 160, 30), QStringLiteral("Then unwarp it into a panorama."), 12,
              kText);
    return pm;
}

QPixmap PanoBackground() {
    QPixmap pm(layout::kViewSize);
    QPainter p(&pm);
    PaintViewBase(p, pm.size());
    PaintTitle(p, 57, 58, QStringLiteral("Panorama"), QStringLiteral("crop, adjust and save"));
    // White box for the size caption, wide enough for what a crop would give
    // (the hint on the crop lines is the picture's tooltip).
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(layout::kPanoSizeCaption).adjusted(-3, -3, 183, 3), 5, 5);
    p.restore();
    PaintImageWell(p, layout::kPanoImage);
    PaintPanel(p, QRectF(45, 316, 370, 192), 14);
    PaintSlidersLegend(p);
    PaintPanel(p, QRectF(459, 316, 248, 192), 14);
    return pm;
}

QPixmap AboutBackground() {
    QPixmap pm(400, 300);
    QPainter p(&pm);
    PaintViewBase(p, pm.size());
    PaintRingPhoto(p, QPointF(84, 96), 54);
    PaintTitle(p, 160, 86, QStringLiteral("Orbelune"), QString());
    PaintText(p, QRect(162, 96, 220, 20),
              QStringLiteral("Version ") + QLatin1String(orbelune::kVersionText), 13, kAccent,
              Qt::AlignLeft | Qt::AlignVCenter, QFont::DemiBold);
    PaintText(p, QRect(162, 122, 220, 60),
              QStringLiteral("Unwarps ring photographs taken through a panoramic mirror into flat "
                             "360\u00B0 panoramas."),
              12, kMutedText);
    PaintPanoramaStrip(p, QRectF(30, 188, 340, 40));
    PaintText(p, QRect(30, 244, 240, 20), QStringLiteral("\u00A9 Halvarn"), 12, kMutedText,
              Qt::AlignLeft | Qt::AlignVCenter);
    return pm;
}

QPixmap ButtonFace(ButtonId id, bool pressed) {
    return PaintFace(id, pressed);
}

namespace {

// The light card every mirror picture sits on, so it reads on both the window
// and the highlight colours.
void PaintMirrorCard(QPainter& p) {
    QLinearGradient card(0, 0, 0, 99);
    card.setColorAt(0, QColor(0xf4, 0xf7, 0xfa));
    card.setColorAt(1, QColor(0xdc, 0xe3, 0xea));
    p.setPen(QPen(QColor(0xb8, 0xc3, 0xcf), 1));
    p.setBrush(card);
    p.drawRoundedRect(QRectF(0.5, 0.5, 115, 98), 8, 8);
}

// The camera's lens and the attachment's mount: a wide clamp collar with its
// screw and lever, or a slimmer collar with a coarse thread cut into it.
void PaintMount(QPainter& p, double cx, bool threaded) {
    QLinearGradient lens(0, 70, 0, 96);
    lens.setColorAt(0, QColor(0x3a, 0x3f, 0x47));
    lens.setColorAt(1, QColor(0x1c, 0x1f, 0x24));
    p.setPen(Qt::NoPen);
    p.setBrush(lens);
    p.drawRoundedRect(QRectF(cx - 30, 76, 60, 20), 3, 3);
    QLinearGradient metal(cx - 26, 0, cx + 26, 0);
    metal.setColorAt(0, QColor(0x7d, 0x86, 0x91));
    metal.setColorAt(0.45, QColor(0xe2, 0xe7, 0xec));
    metal.setColorAt(1, QColor(0x6a, 0x72, 0x7c));
    const QColor edge(0x55, 0x5c, 0x66);
    if (threaded) {
        p.setBrush(metal);
        p.setPen(QPen(edge, 1));
        p.drawRect(QRectF(cx - 21, 58, 42, 18));
        // Raised thread flanks, light and dark, slanting as a thread does.
        for (int i = 0; i < 6; ++i) {
            const double y = 59.5 + i * 2.8;
            p.setPen(QPen(QColor(0x3e, 0x44, 0x4c), 1.2));
            p.drawLine(QPointF(cx - 21, y), QPointF(cx + 21, y + 1.4));
            p.setPen(QPen(QColor(0xff, 0xff, 0xff, 170), 0.8));
            p.drawLine(QPointF(cx - 21, y + 1.1), QPointF(cx + 21, y + 2.5));
        }
        // The thread's teeth showing at both sides.
        p.setPen(QPen(edge, 1));
        p.setBrush(QColor(0x8d, 0x96, 0xa1));
        for (int i = 0; i < 6; ++i) {
            const double y = 59 + i * 2.8;
            p.drawPolygon(QPolygonF(
                {QPointF(cx - 21, y), QPointF(cx - 24, y + 1.4), QPointF(cx - 21, y + 2.8)}));
            p.drawPolygon(QPolygonF(
                {QPointF(cx + 21, y + 1.4), QPointF(cx + 24, y + 2.8), QPointF(cx + 21, y + 4.2)}));
        }
    } else {
        p.setBrush(metal);
        p.setPen(QPen(edge, 1));
        p.drawRoundedRect(QRectF(cx - 30, 62, 60, 14), 3, 3);
        // The clamp's screw and its lever standing out to the right.
        p.setBrush(QColor(0x4a, 0x50, 0x58));
        p.drawRoundedRect(QRectF(cx + 30, 65, 10, 8), 2, 2);
        p.drawEllipse(QPointF(cx + 43, 69), 4, 4);
        p.setPen(QPen(QColor(0x33, 0x38, 0x3f), 1));
        p.drawLine(QPointF(cx - 30, 69), QPointF(cx + 30, 69));
    }
}

// The clear tube holding the mirror.
void PaintTube(QPainter& p, double cx, double top, double bottom) {
    p.setBrush(QColor(0xa8, 0xd8, 0xee, 110));
    p.setPen(QPen(QColor(0x6a, 0x9f, 0xb8, 180), 1));
    p.drawRect(QRectF(cx - 20, top, 40, bottom - top));
}

// A convex mirror: a silver dome, lit from the upper left.
void PaintDome(QPainter& p, double cx) {
    QRadialGradient dome(QPointF(cx - 8, 12), 32);
    dome.setColorAt(0, Qt::white);
    dome.setColorAt(0.45, QColor(0xc4, 0xce, 0xd8));
    dome.setColorAt(1, QColor(0x4f, 0x5a, 0x67));
    p.setBrush(dome);
    p.setPen(QPen(QColor(0x4b, 0x55, 0x60), 1));
    QPainterPath d;
    d.moveTo(cx - 24, 32);
    d.cubicTo(cx - 24, 2, cx + 24, 2, cx + 24, 32);
    d.closeSubpath();
    p.drawPath(d);
    p.setPen(QPen(kAccent.darker(110), 2));
    p.drawLine(QPointF(cx - 24, 32), QPointF(cx + 24, 32));
}

// A concave mirror: an open silver bowl, its hollow seen from above, dark
// at the far wall and bright at the near one.
void PaintBowl(QPainter& p, double cx) {
    const double rimY = 12, rx = 27, ry = 7;
    QLinearGradient outside(cx - rx, 0, cx + rx, 0);
    outside.setColorAt(0, QColor(0x5b, 0x66, 0x73));
    outside.setColorAt(0.4, QColor(0xd0, 0xd8, 0xe0));
    outside.setColorAt(1, QColor(0x4f, 0x5a, 0x67));
    p.setBrush(outside);
    p.setPen(QPen(QColor(0x4b, 0x55, 0x60), 1));
    QPainterPath bowl;
    bowl.moveTo(cx - rx, rimY);
    bowl.cubicTo(cx - rx, rimY + 30, cx + rx, rimY + 30, cx + rx, rimY);
    bowl.closeSubpath();
    p.drawPath(bowl);
    // The hollow: the rim's ellipse, shaded the other way round from the dome.
    QLinearGradient hollow(0, rimY - ry, 0, rimY + ry);
    hollow.setColorAt(0, QColor(0x3b, 0x44, 0x4f));
    hollow.setColorAt(0.7, QColor(0x9c, 0xa8, 0xb5));
    hollow.setColorAt(1, QColor(0xf4, 0xf7, 0xfa));
    p.setBrush(hollow);
    p.setPen(QPen(QColor(0x3b, 0x44, 0x4f), 1.2));
    p.drawEllipse(QPointF(cx, rimY), rx, ry);
    // The foot joining the bowl to the tube.
    p.setBrush(QColor(0x6a, 0x72, 0x7c));
    p.setPen(QPen(QColor(0x4b, 0x55, 0x60), 1));
    p.drawRect(QRectF(cx - 9, rimY + 21, 18, 5));
    p.setPen(QPen(kAccent.darker(110), 2));
    p.drawLine(QPointF(cx - 20, rimY + 26), QPointF(cx + 20, rimY + 26));
}

}  // namespace

QPixmap MirrorPicture(bool threaded, bool convex) {
    QPixmap pm(116, 99);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    PaintMirrorCard(p);
    const double cx = 52;
    PaintMount(p, cx, threaded);
    if (convex) {
        PaintTube(p, cx, 32, threaded ? 58 : 62);
        PaintDome(p, cx);
    } else {
        PaintTube(p, cx, 38, threaded ? 58 : 62);
        PaintBowl(p, cx);
    }
    return pm;
}

QPixmap MirrorPictureFor(int mirrorType) {
    const orbelune::MirrorInfo* mirror = orbelune::FindMirror(mirrorType);
    if (!mirror) return QPixmap();
    if (mirror->picture == orbelune::MirrorPicture::Custom) return CustomMirrorPicture();
    return MirrorPicture(mirror->picture == orbelune::MirrorPicture::Threaded,
                         mirror->model == orbelune::MirrorModel::Convex);
}

QPixmap CustomMirrorPicture() {
    QPixmap pm(116, 99);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    PaintMirrorCard(p);
    // A mirror of no particular make, seen from the side, on its camera.
    const double cx = 40;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x2e, 0x35));
    p.drawRoundedRect(QRectF(cx - 22, 76, 44, 18), 3, 3);
    QRadialGradient dome(QPointF(cx - 6, 34), 28);
    dome.setColorAt(0, Qt::white);
    dome.setColorAt(0.5, QColor(0xb9, 0xc4, 0xcf));
    dome.setColorAt(1, QColor(0x5b, 0x66, 0x73));
    p.setBrush(dome);
    p.setPen(QPen(QColor(0x4b, 0x55, 0x60), 1));
    QPainterPath d;
    d.moveTo(cx - 24, 30);
    d.cubicTo(cx - 20, 62, cx + 20, 62, cx + 24, 30);
    d.closeSubpath();
    p.drawPath(d);
    // The two rays it is measured by: one from the rim, one from near the camera.
    p.setPen(QPen(kAccent.darker(110), 2));
    p.drawLine(QPointF(cx + 24, 30), QPointF(108, 14));
    p.drawLine(QPointF(cx + 10, 52), QPointF(108, 84));
    p.setPen(QPen(QColor(0x6a, 0x72, 0x7c), 1, Qt::DashLine));
    p.drawLine(QPointF(cx + 10, 42), QPointF(110, 42));  // the horizon
    return pm;
}

QPixmap AppIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    PaintRingPhoto(p, QPointF(32, 32), 30);
    return pm;
}

}  // namespace artwork

ImageButton::ImageButton(artwork::ButtonId id, QWidget* parent)
    : ImageButton(artwork::ButtonFace(id, false), artwork::ButtonFace(id, true), parent) {
    m_id = id;
}

ImageButton::ImageButton(const QPixmap& normal, const QPixmap& pressed, QWidget* parent)
    : QAbstractButton(parent), m_normal(normal), m_pressed(pressed) {
    setFixedSize(m_normal.size());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ImageButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && isEnabled() &&
        !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

QSize ImageButton::sizeHint() const {
    return m_normal.size();
}

void ImageButton::focusInEvent(QFocusEvent* event) {
    m_keyboardFocus = event->reason() == Qt::TabFocusReason ||
                      event->reason() == Qt::BacktabFocusReason ||
                      event->reason() == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void ImageButton::focusOutEvent(QFocusEvent* event) {
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!isEnabled()) p.setOpacity(0.45);
    p.drawPixmap(0, 0, isDown() ? m_pressed : m_normal);
    p.setOpacity(1.0);
    if (hasFocus() && m_keyboardFocus) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(artwork::colors::kAccent2, 1.5, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -3), 6, 6);
    }
}

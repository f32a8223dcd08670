#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QSize>

// The program's look, drawn in code so that it scales with nothing but itself:
// view backgrounds, button faces (normal and pressed), the mirror pictures
// and the About panel. Every view uses the same palette and places.
namespace artwork {

enum class ButtonId {
    Open,
    Manual,
    Mirror,
    Unwarp,
    Back,  // round view
    Reset,
    Undo,
    Crop,
    SavePanorama,
    SaveMovie,
    StartOver,
    PanoBack,  // panorama view's Back (same look, panorama-view size)
};

// The palette shared by all views and dialogs.
namespace colors {
inline const QColor kBackgroundTop{0x1b, 0x22, 0x2e};
inline const QColor kBackgroundBottom{0x10, 0x15, 0x1d};
inline const QColor kPanel{0x24, 0x2d, 0x3b};
inline const QColor kPanelEdge{0x36, 0x43, 0x57};
inline const QColor kAccent{0x2f, 0xb8, 0xa6};   // teal
inline const QColor kAccent2{0xf2, 0xa9, 0x3b};  // amber
inline const QColor kText{0xe8, 0xee, 0xf4};
inline const QColor kMutedText{0x9a, 0xa8, 0xb8};
inline const QColor kImageWell{0x0b, 0x0f, 0x14};  // behind pictures
}  // namespace colors

// Where the backgrounds expect the controls (view pixels, client 760 x 540).
namespace layout {
inline constexpr QSize kViewSize{760, 540};
// Start view.
inline constexpr QRect kStartOpen{574, 93, 160, 44};
inline constexpr QRect kStartManual{574, 177, 160, 44};
inline constexpr QRect kStartMirror{574, 263, 160, 44};
// Round view.
inline constexpr QRect kRoundImage{55, 75, 476, 356};
inline constexpr QRect kRoundUnwarp{571, 330, 139, 62};
inline constexpr QRect kRoundBack{597, 462, 87, 40};
inline constexpr QRect kRoundProgress{578, 420, 127, 17};
inline constexpr QRect kRoundSizeLabel{55, 446, 200, 22};
// Panorama view.
inline constexpr QRect kPanoImage{57, 137, 638, 155};
inline constexpr QRect kPanoSizeCaption{57, 96, 220, 24};
inline constexpr QRect kPanoUndo{471, 92, 106, 34};
inline constexpr QRect kPanoCrop{589, 92, 106, 34};
inline constexpr QRect kPanoProgressIdle{450, 47, 240, 20};
inline constexpr QRect kPanoProgressWorking{578, 420, 127, 17};
// Slider tracks (x, y of the 1066, 1067, 1070, 1068 sliders), labels left of them.
inline constexpr QRect kPanoBrightness{157, 330, 240, 26};
inline constexpr QRect kPanoContrast{157, 359, 240, 26};
inline constexpr QRect kPanoSaturation{157, 388, 240, 26};
inline constexpr QRect kPanoSharpness{157, 417, 240, 26};
inline constexpr QRect kPanoReset{157, 458, 106, 34};
inline constexpr QRect kPanoSavePanorama{471, 330, 224, 38};
inline constexpr QRect kPanoSaveMovie{471, 376, 224, 38};
inline constexpr QRect kPanoBack{471, 458, 106, 34};
inline constexpr QRect kPanoStartOver{589, 458, 106, 34};
}  // namespace layout

// 760 x 540 view backgrounds.
QPixmap StartBackground();
QPixmap RoundBackground();
QPixmap PanoBackground();
// The About box panel (400 x 300).
QPixmap AboutBackground();
// A button face; every face of one id has the same size in both states.
QPixmap ButtonFace(ButtonId id, bool pressed);
// A catalogue attachment's picture, 116 x 99: a concave bowl or a convex dome,
// on a clamp collar (standard) or a screw thread (threaded).
QPixmap MirrorPicture(bool threaded, bool convex = false);
// The picture of a mirror type's row (the custom one included); null when the
// type is not in the table.
QPixmap MirrorPictureFor(int mirrorType);
// The custom mirror's row: any mirror, with the two elevations it is described by.
QPixmap CustomMirrorPicture();
// The program's icon, `size` pixels square (window icon and the installed theme icons).
QPixmap AppIcon(int size = 64);

}  // namespace artwork

// A button drawn with two faces, sized to them (the platform's bitmap button).
class ImageButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ImageButton(artwork::ButtonId id, QWidget* parent = nullptr);
    ImageButton(const QPixmap& normal, const QPixmap& pressed, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    artwork::ButtonId faceId() const { return m_id; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Enter presses a focused button, as it does a push button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    artwork::ButtonId m_id = artwork::ButtonId::Open;
    bool m_keyboardFocus = false;  // the focus ring shows only for keyboard users
    QPixmap m_normal;
    QPixmap m_pressed;
};

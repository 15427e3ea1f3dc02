#pragma once

#include <QImage>
#include <QRect>
#include <QtGlobal>

// The four arrow-key flags of the airframe view: -1 while the key is held
// down, 0 otherwise.
struct ArrowKeyFlags
{
    qint16 Up = 0;
    qint16 Down = 0;
    qint16 Left = 0;
    qint16 Right = 0;
};

// The airframe view without widgets: the scroll and steer arithmetic, and the
// drawing of one step into a persistent RGB32 image of the client area from
// the sprite sheet (four 32 x 32 cells side by side: jet, mask, plain sky,
// sky tile).
//
// The three ways of combining a cell with the image are exact per-channel
// operations on RGB32 pixels, the same results as QPainter gives with
// CompositionMode_Source, RasterOp_SourceAndDestination and
// RasterOp_SourceXorDestination; they are done here on the pixels directly so
// that a step allocates nothing and clips in integer arithmetic that cannot
// overflow.
class SkyView
{
public:
    // How a cell is combined with the image.
    enum class Blend { Copy, And, Xor };

    static constexpr int kCellSize = 32;
    static constexpr int kJetCell = 0;
    static constexpr int kMaskCell = 1;
    static constexpr int kTileCell = 3;
    static constexpr int kTileColumns = 7;
    static constexpr int kTileRows = 4;
    static constexpr int kScrollX = 2;
    static constexpr int kScrollY = 1;
    static constexpr int kSteerStep = 4;
    // The jet's position saturates at +/- this many pixels: far outside any
    // client area, yet far from the limits of a 32-bit integer, so holding a
    // key for days never wraps the position round to the other side.
    static constexpr int kJetLimit = 1 << 30;

    // A black image of the given size; no sheet yet.
    SkyView(int width, int height);

    // Takes the sprite sheet (converted once to RGB32). False, and nothing
    // drawn by later steps, when it is too small to hold the four cells.
    bool setSheet(const QImage& sheet);
    bool hasSheet() const { return !m_sheet.isNull(); }

    // Step 1: the sky moves 2 pixels left and 1 up; each offset returns to 0
    // when its magnitude reaches one tile.
    static void scroll(int& skyX, int& skyY);
    // Step 3: 4 pixels per held key, Up, Down, Left, Right tested
    // independently in that order, so opposite keys cancel.
    static void steer(const ArrowKeyFlags& keys, int& jetX, int& jetY);

    // Step 2: 7 x 4 sky tiles copied with their top-left corner at (skyX, skyY).
    void drawSky(int skyX, int skyY);
    // Step 4: the mask ANDed, then the jet XORed, at (jetX, jetY), clipped
    // to the sky: wherever it is steered, nothing of it lands on the caption
    // strip below, where it would stay in the cockpit view too.
    void drawJet(int jetX, int jetY);
    // The part of the image the sky's tiles cover: its top rows, full width.
    QRect skyArea() const;

    // Combines a 32 x 32 cell of the sheet with the image at (x, y), clipped to
    // the image and, where given, to `within`.
    void blitCell(int cell, int x, int y, Blend blend, const QRect& within = QRect());

    const QImage& image() const { return m_image; }
    // The picture itself, e.g. to start from a given one. Nothing is drawn
    // into a picture that is not RGB32.
    QImage& image() { return m_image; }
    const QImage& sheet() const { return m_sheet; }

private:
    QImage m_image;
    QImage m_sheet;
};
